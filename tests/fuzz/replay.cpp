// Replays protocol sessions (files, or every file of a directory) through the
// fuzzer's harness: the corpus as a regression test. Each session must end
// within a time bound; the harness aborts on any broken invariant.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "fuzz/replayfiles.h"

// Seconds one session may take, and the shutdown after the last (sanitizer
// builds run several times slower). KORVAN_REPLAY_LIMIT sets both.
constexpr unsigned SESSION_LIMIT = 60;
constexpr unsigned SHUTDOWN_LIMIT = 120;

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) replayCollect(argv[i], &files);
    if (files.empty()) {
        fprintf(stderr, "no sessions to replay\n");
        return 1;
    }
    // KORVAN_FUZZ_VERBOSE: the engine's warnings and each session's output too.
    bool verbose = getenv("KORVAN_FUZZ_VERBOSE") != nullptr;
    fuzzStartup(FuzzSettings{}, verbose);
    const unsigned limit = replayLimit(SESSION_LIMIT);
    for (const auto& file : files) {
        std::string session = replayRead(file);
        auto start = std::chrono::steady_clock::now();
        replayInputStart("session", file, limit);
        fuzzSession(reinterpret_cast<const uint8_t*>(session.data()), session.size());
        replayInputDone();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
        if (verbose) printf("%s", fuzzLastOutput().c_str());
        printf("ok %6lld ms  %s\n", static_cast<long long>(ms), file.c_str());
        fflush(stdout);
    }
    replayShutdownStart(replayLimit(SHUTDOWN_LIMIT));
    fuzzShutdown();
    printf("%zu sessions replayed\n", files.size());
    return 0;
}
