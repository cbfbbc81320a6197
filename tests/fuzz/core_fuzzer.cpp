// The core fuzzer (libFuzzer): each input is a position, read through the FEN
// reader, and moves played from it; the harness checks every position reached
// (see coreharness.h). KORVAN_CORE_SAMPLE sets how many inputs share one
// sampled search and book probe (default 256).
#include <cstdlib>

#include "fuzz/coreharness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CoreSettings settings;
    if (const char* every = getenv("KORVAN_CORE_SAMPLE"))
        settings.sampleEvery = static_cast<unsigned>(strtoul(every, nullptr, 10));
    coreFuzzStartup(settings, getenv("KORVAN_FUZZ_VERBOSE") != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    coreFuzzInput(data, size);
    return 0;
}
