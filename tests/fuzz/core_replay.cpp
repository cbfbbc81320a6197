// Replays core fuzzer inputs (files, or every file of a directory) with every
// input sampled (searched and, where its header asks, probed in a book; set
// KORVAN_CORE_SAMPLE to sample fewer): the corpus as a regression test. Also
// writes inputs for the corpus:
//
//   korvan-core-replay FILE_OR_DIRECTORY...
//   korvan-core-replay --write OUT HEADER "FEN" [MOVE...]
//
// HEADER is the input's header byte (decimal or 0x..; see coreinput.h), the
// moves are protocol texts ("e2e4", "e7e8q") played in turn from the record.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "board/position.h"
#include "fuzz/coreharness.h"
#include "fuzz/coreinput.h"
#include "fuzz/replayfiles.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"

namespace {

// Seconds one input may take, and the shutdown after the last (sanitizer
// builds run several times slower). KORVAN_REPLAY_LIMIT sets both.
constexpr unsigned INPUT_LIMIT = 30;
constexpr unsigned SHUTDOWN_LIMIT = 120;

// The move bytes that play the texts from the record.
int writeInput(const char* out, int header, const char* fen, char** moves, int count) {
    Position* p = positionNew();
    if (!positionSetFen(p, fen)) {
        fprintf(stderr, "refused record: %s\n", fen);
        positionFree(p);
        return 1;
    }
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; i++) {
        // The byte is the move's index among the generated moves, tactical first.
        MoveList lists[2];
        tacticalMovesGenerate(p, &lists[0]);
        quietMovesGenerate(p, &lists[1]);
        std::vector<Move> generated(lists[0].moves, lists[0].moves + lists[0].count);
        generated.insert(generated.end(), lists[1].moves, lists[1].moves + lists[1].count);
        size_t index = 0;
        char text[MOVE_TEXT_SIZE];
        for (; index < generated.size(); index++) {
            moveToString(generated[index], text);
            if (strcmp(text, moves[i]) == 0) break;
        }
        if (index == generated.size() || index > 255 || !moveDo(p, generated[index])) {
            fprintf(stderr, "no legal move %s at ply %d\n", moves[i], i + 1);
            positionFree(p);
            return 1;
        }
        bytes.push_back(static_cast<uint8_t>(index));
    }
    positionFree(p);
    std::string input = coreInputEncode(header, fen, bytes);
    std::ofstream file(out, std::ios::binary);
    file.write(input.data(), static_cast<std::streamsize>(input.size()));
    return file ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr,
                "usage: %s FILE_OR_DIRECTORY...\n"
                "       %s --write OUT HEADER FEN [MOVE...]\n",
                argv[0], argv[0]);
        return 2;
    }
    bool verbose = getenv("KORVAN_FUZZ_VERBOSE") != nullptr;
    CoreSettings settings;
    settings.sampleEvery = 1;
    settings.searchNodes = 50000;
    if (const char* every = getenv("KORVAN_CORE_SAMPLE"))
        settings.sampleEvery = static_cast<unsigned>(strtoul(every, nullptr, 10));
    coreFuzzStartup(settings, verbose);
    if (strcmp(argv[1], "--write") == 0) {
        if (argc < 5) return 2;
        int rc = writeInput(argv[2], static_cast<int>(strtol(argv[3], nullptr, 0)), argv[4],
                            argv + 5, argc - 5);
        coreFuzzShutdown();
        return rc;
    }

    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) replayCollect(argv[i], &files);
    if (files.empty()) {
        fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    const unsigned limit = replayLimit(INPUT_LIMIT);
    auto start = std::chrono::steady_clock::now();
    for (const auto& file : files) {
        std::string input = replayRead(file);
        replayInputStart("input", file, limit);
        coreFuzzInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        replayInputDone();
        if (verbose) printf("ok %s\n", file.c_str());
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    const CoreCounts& counts = coreFuzzCounts();
    printf(
        "%zu inputs replayed in %lld ms: %llu positions walked, %llu checked in full, "
        "%llu searches (%llu stopped at the node budget), %llu book probes\n",
        files.size(), static_cast<long long>(ms), static_cast<unsigned long long>(counts.positions),
        static_cast<unsigned long long>(counts.movesChecked),
        static_cast<unsigned long long>(counts.searches),
        static_cast<unsigned long long>(counts.searchesStopped),
        static_cast<unsigned long long>(counts.bookProbes));
    replayShutdownStart(replayLimit(SHUTDOWN_LIMIT));
    coreFuzzShutdown();
    return 0;
}
