// The protocol fuzzer (libFuzzer). Each input is one session of protocol
// lines run through the harness. Two modes, chosen by KORVAN_FUZZ_MODE:
// "bytes" (the default) mutates the input as raw bytes; "commands" mutates
// it as a list of commands (see commands.h).
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/commands.h"
#include "fuzz/harness.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

bool structured = false;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* mode = getenv("KORVAN_FUZZ_MODE");
    structured = mode && strcmp(mode, "commands") == 0;
    FuzzSettings settings;
    if (const char* nodes = getenv("KORVAN_FUZZ_NODES"))
        settings.nodesPerGo = strtoull(nodes, nullptr, 10);
    fuzzStartup(settings, getenv("KORVAN_FUZZ_VERBOSE") != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSession(data, size);
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    if (!structured) return LLVMFuzzerMutate(data, size, maxSize);
    std::string session(reinterpret_cast<const char*>(data), size);
    std::string mutated = fuzzMutateSession(session, seed, maxSize, LLVMFuzzerMutate);
    memcpy(data, mutated.data(), mutated.size());
    return mutated.size();
}
