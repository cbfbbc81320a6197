// Structure-aware mutation of protocol sessions: lines are real commands
// (positions with FEN records and move lists, options, search limits) bent in
// the ways interfaces and users get them wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Mutates the bytes in place within maxSize and returns their new size (the
// fuzzer's own byte mutator).
using ByteMutator = size_t (*)(uint8_t* data, size_t size, size_t maxSize);

// One structure-aware mutation of a session (lines separated by '\n'): a
// command generated, replaced, bent, dropped, repeated or moved, or one line
// mutated as bytes. The result is at most maxSize bytes long. Needs the
// engine's tables (uciStartup or init).
std::string fuzzMutateSession(const std::string& session, uint64_t seed, size_t maxSize,
                              ByteMutator byteMutator);

// One generated command line (without its line end), for seeds and tests.
std::string fuzzGenerateCommand(uint64_t seed);
