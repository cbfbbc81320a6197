// The large tables the search threads share without a lock (the transposition
// and pawn tables): their allocation, which falls back to a smaller size
// instead of failing, and their words, read and written as relaxed atomics so
// that concurrent access is defined (a torn slot is caught by its verification
// word, not prevented).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// A zeroed block of `slots` entries of `size` bytes or, when that cannot be
// had, of the largest half of it that can; *got receives the count and the
// smaller size is reported as an "info string" naming the table. Released with
// free(). Fatal only when not even one entry can be had.
void* allocateTable(uint64_t slots, size_t size, const char* name, uint64_t* got);

// Tests: blocks above this many bytes are treated as failing, so that the
// fallback can be exercised.
extern uint64_t allocationLimit;

inline uint64_t sharedLoad(const uint64_t& word) {
    return std::atomic_ref<uint64_t>(const_cast<uint64_t&>(word)).load(std::memory_order_relaxed);
}
inline void sharedStore(uint64_t& word, uint64_t value) {
    std::atomic_ref<uint64_t>(word).store(value, std::memory_order_relaxed);
}

// The mask that takes a key to its slot when the count is a power of two, else 0.
inline uint64_t slotMaskFor(uint64_t count) {
    return count && (count & (count - 1)) == 0 ? count - 1 : 0;
}
// Key modulo the slot count; the mask gives the same result for powers of two.
inline uint64_t slotIndex(uint64_t key, uint64_t count, uint64_t mask) {
    return mask ? key & mask : key % count;
}
