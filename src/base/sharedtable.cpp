#include "base/sharedtable.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "base/output.h"

uint64_t allocationLimit = std::numeric_limits<uint64_t>::max();

namespace {

constexpr uint64_t MEGABYTE = uint64_t{1} << 20;

// Writes a size in the largest whole unit that fits ("64 MB", "512 kB").
void sizeText(uint64_t bytes, char* out, size_t size) {
    if (bytes >= MEGABYTE)
        snprintf(out, size, "%" PRIu64 " MB", bytes / MEGABYTE);
    else
        snprintf(out, size, "%" PRIu64 " kB", bytes / 1024);
}

}  // namespace

// calloc hands large blocks out as fresh pages from the kernel without
// touching them, so a big table costs neither time nor resident memory until
// it is used.
void* allocateTable(uint64_t slots, size_t size, const char* name, uint64_t* got) {
    for (uint64_t n = slots; n >= 1; n /= 2) {
        void* block = n * size <= allocationLimit ? calloc(n, size) : nullptr;
        if (!block) continue;
        if (n != slots) {
            char wanted[32], obtained[32];
            sizeText(slots * size, wanted, sizeof wanted);
            sizeText(n * size, obtained, sizeof obtained);
            outPrintf(true, "info string not enough memory for %s of %s, using %s\n", name, wanted,
                      obtained);
        }
        *got = n;
        return block;
    }
    fatalError("Can not allocate %s!\n", name);
}
