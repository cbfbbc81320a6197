// Parallel search: the master searches the first move of a node itself and
// hands the others to a pool of worker threads.
#pragma once

#include <atomic>

// 1 while a master abandons its outstanding jobs: every worker node returns at
// once and nothing is stored in the tables.
extern std::atomic<int> parallelStopFlag;

// The "Threads" option: 1 searches without workers.
extern int searchThreads;
