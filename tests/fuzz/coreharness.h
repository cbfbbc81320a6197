// The core fuzzer's harness, shared by the libFuzzer target and the corpus
// replay. An input (see coreinput.h) is read into a position through the FEN
// reader, and a walk of moves picked from the generated lists is played from
// it.
//
// The record: the reader refuses it with the position unchanged, or accepts
// it, exactly where an independent reading of the rules says so, with the
// men, side, rights and en-passant square the record names (rights without
// their king or rook, and en-passant squares no pawn can take on, dropped).
//
// Every position of the walk: its incremental fields (bitboards, key,
// material, phase, piece-square sums) equal those computed from its board;
// one king a side, no pawn on a back rank, the side not to move not in check,
// the check flag right, castling rights only with king and rook at home, an
// en-passant square only behind a pawn that has just stepped and beside one
// that can take it; the Polyglot key equals one summed square by square; the
// repetition count equals a count of the positions walked, and a search copy
// of the position counts the same.
//
// The position the walk reaches, besides: the record written from it reads
// back into the same position and keys; its evaluation equals that of the
// colour-flipped position, in full and lazily, stays below the mate scores,
// and the pawn table hands back the structure computed afresh; making and
// unmaking every generated move (and the null move) restores every field, the
// legal moves and the positions they lead to are those of the reference
// walker, the picker hands out the same moves, and the table-move test
// accepts every generated move and no move of the position before that the
// generators do not make here.
//
// One input in `sampleEvery` also searches the position reached to depth 1-3
// (a legal move or none exactly where the game is over, a score inside the
// mate bounds, a mate in one found and a claimed one real, the node search
// and the quiescence search leaving the position as it was, stopped or not)
// and, if its header asks, probes a book written for the position (the answer
// one of the book's weighted legal moves for it, never a move from past the
// file's end).
//
// Broken invariants abort with a message; the sanitizers catch the rest.
#pragma once

#include <cstddef>
#include <cstdint>

struct CoreSettings {
    // 1 samples every input (the replay); the fuzzer samples one in 256.
    unsigned sampleEvery = 256;
    // Nodes after which a sampled search is stopped (a quiescence search over
    // a board crowded with men that can take each other runs for minutes).
    uint64_t searchNodes = 2000;
};

// Builds the engine's tables and search state once per process. Warnings (a
// refused record) are dropped unless `verbose`.
void coreFuzzStartup(const CoreSettings& settings, bool verbose = false);

// Runs the checks of one input; aborts when an invariant is broken.
void coreFuzzInput(const uint8_t* data, size_t size);

// Releases what coreFuzzStartup made.
void coreFuzzShutdown();

// What the inputs run so far have checked.
struct CoreCounts {
    uint64_t inputs = 0;
    uint64_t positions = 0;        // positions on the inputs' walks
    uint64_t movesChecked = 0;     // positions reached, with every check
    uint64_t searches = 0;         // sampled searches
    uint64_t searchesStopped = 0;  // of them, those stopped at the node budget
    uint64_t bookProbes = 0;
};
const CoreCounts& coreFuzzCounts();
