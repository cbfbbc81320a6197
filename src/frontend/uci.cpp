#include "frontend/uci.h"
void uciRun() {}
