#include "search/threadsearch.h"

std::atomic<int> parallelStopFlag{0};
int searchThreads = 1;
