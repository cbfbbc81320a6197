// One protocol session for the fuzzer and the corpus replay: the input bytes
// are split into lines and fed, in order, through the dispatcher the command
// loop uses. Every "go" is given a bounded share of the search (a node budget,
// with the stop timer served as the main loop would), and the session ends
// with a "stop", so each input finishes in bounded time while searches still
// run beside the commands that follow them, as with a real interface.
//
// After each session the harness checks what a GUI relies on and aborts with
// a message when something is wrong: exactly one "bestmove" per "go", each a
// legal move of the position it was asked for (or "(none)" where there is no
// move to make), "isready" answered, and a current position whose redundant
// fields (bitboards, key, material, phase, piece-square sums) agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FuzzSettings {
    // Nodes a "go" may search before the next line is read; the search goes on
    // running after that until a later "go", "stop" or "quit" or the end of the
    // session stops it.
    uint64_t nodesPerGo = 3000;
    // How long the harness waits at most for those nodes, and how long for a
    // search that counts no more nodes.
    int waitMs = 250;
    int idleMs = 5;
};

// Starts the engine once per process: tables, options, hash tables, workers,
// the book and the bitbases of the build directory. Warnings (the engine's
// input errors) are dropped unless `verbose`.
void fuzzStartup(const FuzzSettings& settings, bool verbose = false);

// Runs one session from a fixed starting state (initial position, start-up
// option values, cleared hash table); aborts when an invariant is broken.
void fuzzSession(const uint8_t* data, size_t size);

// Releases everything as "quit" does.
void fuzzShutdown();

// The protocol output of the last session.
const std::string& fuzzLastOutput();
