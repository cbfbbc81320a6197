#include "frontend/uci.h"

int main() {
    uciRun();
    return 0;
}
