// A plain endgame solver that checks the bitbase library: every placement of a
// material's men is a position, solved by forward iteration to a fixed point
// with the engine's own move generator and move maker (no retrograde moves, no
// symmetry), and the library's answer is compared with the solved value of
// every legal position.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "board/position.h"

// The men besides the two kings, as piece codes: white men first, then black,
// each side strongest first (queen, rook, bishop, knight, pawn).
struct TbMaterial {
    std::vector<int> men;
};

// Reads a name such as "KQvKR", "KBNvK", "KvKP" (white first); false when the
// name is not a material of at most TB_MAX_MEN men in all.
bool tbMaterialParse(const std::string& name, TbMaterial* material);
std::string tbMaterialName(const TbMaterial& material);

// Kings included; a table has 2 * 64^men entries.
inline constexpr int TB_MAX_MEN = 4;

// One byte a position: 0 a draw (or, while solving, not decided yet),
// TB_ILLEGAL a placement that is no legal position, else 1 + the distance to
// mate in plies; an odd distance is a win for the side to move, an even one a
// loss (0: checkmated).
inline constexpr uint8_t TB_ILLEGAL = 255;
inline constexpr int TB_MAX_DISTANCE = 253;

// Counts of a solved table, per side to move.
struct TbStats {
    uint64_t wins[2] = {0, 0}, draws[2] = {0, 0}, losses[2] = {0, 0};
    int longest = 0;  // longest distance to mate in plies
    int passes = 0;   // iterations until nothing changed
    double seconds = 0;
};

struct TbTable {
    TbMaterial material;
    std::vector<uint8_t> values;  // index: see tbIndexSquares
    TbStats stats;
};

// Solved tables by material; materials reached by captures and promotions are
// solved first and kept, so later materials find them.
struct TbSolver {
    int threads = 1;
    std::unordered_map<uint32_t, std::unique_ptr<TbTable>> tables;
};

// The solved table of a material (solved now unless already there).
const TbTable& tbSolve(TbSolver* solver, const TbMaterial& material);

// Index = side to move, white king, black king, then the men in the
// material's order, as digits of a number in base 64 (side to move first).
// Fills `squares` (kings then men) and returns the side to move.
int tbIndexSquares(const TbTable& table, uint32_t index, int* squares);

// Sets the position of an index; false for a placement that is no legal
// position (men on one square, a pawn on a back rank, kings side by side, the
// side not to move in check).
bool tbPositionSet(const TbTable& table, uint32_t index, Position* position);

// The library's expected answer for a value: 0 for a draw, 20000 - 40 d for a
// win in d plies, -(20000 - 40 d) for a loss in d plies.
int tbExpectedScore(uint8_t value);

// The position of an index as FEN (no castling, no en passant).
std::string tbFen(const TbTable& table, uint32_t index);

// probe_egbb_5men of the library.
using TbProbeFunction = int (*)(int, int, int, int, int, int, int, int, int);

struct TbCheck {
    uint64_t positions = 0;             // legal positions asked
    uint64_t disagreements = 0;         // answered, but not the solved value
    uint64_t unavailable = 0;           // answered 99999
    std::vector<std::string> examples;  // the first few of either, as FEN and both answers
};

// Asks the library about every legal position of the table.
TbCheck tbCheck(const TbTable& table, TbProbeFunction probe, int maxExamples);
