#include "search/startsearch.h"

std::atomic<int> stopFlag{0};
std::atomic<int> ponderSearch{0};
