// A plain endgame solver that checks the bitbase library: every placement of a
// material's men is a position, solved by forward iteration to a fixed point
// with the engine's own move generator and move maker (no retrograde moves, no
// symmetry), and the library's answer is compared with the solved value of
// every legal position. The verifier (korvan-tbverify) shares its materials,
// placements and the walk over a table's positions.
#pragma once

#include <algorithm>
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

// Kings included; a table has 2 * 64^men entries. The solver holds whole
// tables in memory and takes at most TB_SOLVE_MAX_MEN; the verifier, which
// only walks the positions, takes TB_MAX_MEN.
inline constexpr int TB_MAX_MEN = 5;
inline constexpr int TB_SOLVE_MAX_MEN = 4;

// Reads a name such as "KQvKR", "KBNvK", "KvKP", "KRBvKR" (white first);
// false when the name is not a material of at most TB_MAX_MEN men in all.
bool tbMaterialParse(const std::string& name, TbMaterial* material);
std::string tbMaterialName(const TbMaterial& material);
// Men in all, kings included.
inline int tbMen(const TbMaterial& material) { return static_cast<int>(material.men.size()) + 2; }
// Numbers of a table: side to move and a square for each man.
inline uint64_t tbSize(const TbMaterial& material) { return uint64_t{2} << 6 * tbMen(material); }

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

// The solved table of a material (solved now unless already there); fatal
// above TB_SOLVE_MAX_MEN men.
const TbTable& tbSolve(TbSolver* solver, const TbMaterial& material);

// Index = side to move, white king, black king, then the men in the
// material's order, as digits of a number in base 64 (side to move first).
// Fills `squares` (kings then men) and returns the side to move.
int tbIndexSquares(const TbTable& table, uint64_t index, int* squares);
// The index of a placement: the inverse of tbIndexSquares.
uint64_t tbIndexOf(const TbMaterial& material, int player, const int* squares);

// Sets the position of an index; false for a placement that is no legal
// position (men on one square, a pawn on a back rank, kings side by side, the
// side not to move in check).
bool tbPositionSet(const TbTable& table, uint64_t index, Position* position);
// The same for a placement given as squares (kings, then the men).
bool tbPositionSetSquares(const TbMaterial& material, int player, const int* squares,
                          Position* position);

// The library's expected answer for a value: 0 for a draw, 20000 - 40 d for a
// win in d plies, -(20000 - 40 d) for a loss in d plies.
int tbExpectedScore(uint8_t value);

// The position of an index as FEN (no castling, no en passant).
std::string tbFen(const TbTable& table, uint64_t index);
std::string tbFen(const TbMaterial& material, int player, const int* squares);

// Names of every material with `men` men (3 to 5), white the stronger side:
// the three- and four-man ones queen first, the five-man ones in the order
// the generator makes them (fewer pawns first, then by the men's counts from
// queens down, white's before black's, highest first).
std::vector<std::string> tbMaterialsOfMen(int men);

// A walk over the placements of a material, by units of one side to move and
// one pair of king squares (the kings neither on one square nor side by side),
// the other men on the free squares. Walked "every number", it meets every
// legal position of the table's numbering (identical men in every order);
// else only one position of each set of mirror images (the white king on
// a1-d1-d4, and, when it stands on the a1-h8 diagonal, the black king on or
// below it; with pawns only the a-h mirror: the white king on files a-d) and
// identical men in one order.
struct TbWalk {
    TbMaterial material;
    bool everyNumber = true;
    bool pawns = false;
};

inline constexpr int TB_WALK_UNITS = 2 * 64 * 64;

TbWalk tbWalkMake(const TbMaterial& material, bool everyNumber);
// Whether a unit (side to move * 4096 + white king * 64 + black king) is walked.
bool tbWalkUnit(const TbWalk& walk, int unit);

// Calls visit(player, squares, position) for each legal position of a walked
// unit, with the position set; squares are the kings', then the men's.
template <typename Visit>
void tbWalkPositions(const TbWalk& walk, int unit, Position* position, Visit&& visit) {
    int squares[TB_MAX_MEN];
    int player = unit >> 12;
    squares[0] = unit >> 6 & 63;
    squares[1] = unit & 63;
    size_t count = walk.material.men.size();
    Bitboard occupied = bitOf(squares[0]) | bitOf(squares[1]);
    auto place = [&](auto&& self, size_t i) -> void {
        if (i == count) {
            if (tbPositionSetSquares(walk.material, player, squares, position))
                visit(player, static_cast<const int*>(squares), position);
            return;
        }
        int man = walk.material.men[i];
        bool pawn = (man & ~1) == WHITE_PAWN;
        int first = pawn ? 8 : 0, last = pawn ? 55 : 63;
        if (!walk.everyNumber && i > 0 && walk.material.men[i - 1] == man)
            first = std::max(first, squares[i + 1] + 1);
        for (int sq = first; sq <= last; sq++) {
            if (occupied & bitOf(sq)) continue;
            squares[i + 2] = sq;
            occupied |= bitOf(sq);
            self(self, i + 1);
            occupied &= ~bitOf(sq);
        }
    };
    place(place, 0);
}

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
