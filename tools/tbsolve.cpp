#include "tbsolve.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "base/output.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"

namespace {

// White men strongest first; a black man is the white code + 1.
constexpr int MAN_ORDER[5] = {WHITE_QUEEN, WHITE_ROOK, WHITE_BISHOP, WHITE_KNIGHT, WHITE_PAWN};
constexpr char MAN_LETTERS[] = "QRBNP";

int manRank(int piece) {
    for (int i = 0; i < 5; i++)
        if (MAN_ORDER[i] == (piece & ~1)) return i;
    return -1;
}

TbMaterial materialMake(std::vector<int> men) {
    std::sort(men.begin(), men.end(), [](int a, int b) {
        if ((a & 1) != (b & 1)) return (a & 1) < (b & 1);
        return manRank(a) < manRank(b);
    });
    return TbMaterial{std::move(men)};
}

// Counts of each man in base 4: the key of a material, and of a position's.
uint32_t materialKey(const TbMaterial& material) {
    uint32_t key = 0;
    for (int man : material.men) key += 1u << 2 * (man - WHITE_PAWN);
    return key;
}

uint32_t positionMaterialKey(const Position* p) {
    uint32_t key = 0;
    for (int man = WHITE_PAWN; man < WHITE_KING; man++)
        key += static_cast<uint32_t>(bitCount(p->bitboard[man])) << 2 * (man - WHITE_PAWN);
    return key;
}

int menOf(const TbTable& table) { return tbMen(table.material); }

// Index of a position in a table of its material; men of one kind are taken
// in square order.
uint64_t positionIndex(const TbTable& table, const Position* p) {
    uint64_t index = static_cast<uint64_t>(p->player);
    index = index << 6 | bitFirst(p->bitboard[WHITE_KING]);
    index = index << 6 | bitFirst(p->bitboard[BLACK_KING]);
    Bitboard used = 0;
    for (int man : table.material.men) {
        int sq = bitFirst(p->bitboard[man] & ~used);
        used |= bitOf(sq);
        index = index << 6 | static_cast<uint64_t>(sq);
    }
    return index;
}

// The materials a move can lead to: one man fewer (a capture), a pawn become
// another man (a promotion), or both.
std::vector<TbMaterial> successorMaterials(const TbMaterial& material) {
    std::vector<TbMaterial> out;
    const std::vector<int>& men = material.men;
    for (size_t i = 0; i < men.size(); i++) {
        std::vector<int> rest = men;
        rest.erase(rest.begin() + static_cast<long>(i));
        out.push_back(materialMake(rest));
    }
    for (size_t i = 0; i < men.size(); i++) {
        if ((men[i] & ~1) != WHITE_PAWN) continue;
        for (int promoted : {WHITE_KNIGHT, WHITE_BISHOP, WHITE_ROOK, WHITE_QUEEN}) {
            std::vector<int> changed = men;
            changed[i] = promoted + (men[i] & 1);
            out.push_back(materialMake(changed));
            for (size_t j = 0; j < men.size(); j++) {
                if ((men[j] & 1) == (men[i] & 1)) continue;
                std::vector<int> rest = changed;
                rest.erase(rest.begin() + static_cast<long>(j));
                out.push_back(materialMake(rest));
            }
        }
    }
    return out;
}

// Tables a move from the material may lead to, the material's own included.
struct Successors {
    const TbTable* own;
    std::vector<std::pair<uint32_t, const TbTable*>> others;

    const TbTable* find(uint32_t key) const {
        for (const auto& [k, table] : others)
            if (k == key) return table;
        return nullptr;
    }
};

struct Change {
    uint64_t index;
    uint8_t value;
};

// Pass `pass` of the iteration over the indices [begin, end): a position not
// decided yet becomes a win when a move leads to a loss of the opponent, a loss
// when every move leads to a win of the opponent. Only values with distances
// below `pass` count, so every value found in pass d has distance d and the
// first one found is the shortest.
void passRange(const Successors& successors, int pass, uint64_t begin, uint64_t end,
               std::vector<Change>* changes) {
    const TbTable& table = *successors.own;
    Position* p = positionNew();
    MoveList list;
    for (uint64_t index = begin; index < end; index++) {
        if (table.values[index] != 0 || !tbPositionSet(table, index, p)) continue;
        int moves = 0, shortestLoss = INT_MAX, longestWin = -1;
        bool allWins = true;
        // A loss one ply shorter than the pass is the shortest there can be (a
        // shorter one would have decided the position in an earlier pass).
        auto decided = [&] { return shortestLoss == pass - 1; };
        for (int stage = 0; stage < 2 && !decided(); stage++) {
            if (stage == 0)
                tacticalMovesGenerate(p, &list);
            else
                quietMovesGenerate(p, &list);
            for (uint32_t i = 0; i < list.count && !decided(); i++) {
                Move move = list.moves[i];
                if (!moveDo(p, move)) continue;
                moves++;
                const TbTable* next = successors.own;
                if (moveType(move) == MOVE_CAPTURE || moveIsPromotion(move))
                    next = successors.find(positionMaterialKey(p));
                if (!next) fatalError("tbsolve: a move leaves the solved materials\n");
                uint8_t value = next->values[positionIndex(*next, p)];
                moveUndo(p);
                int distance = value - 1;
                if (value == 0 || distance >= pass) {
                    allWins = false;
                } else if (distance % 2 == 0) {
                    shortestLoss = std::min(shortestLoss, distance);
                } else {
                    longestWin = std::max(longestWin, distance);
                }
            }
        }
        int found = -1;
        if (shortestLoss != INT_MAX)
            found = shortestLoss + 1;
        else if (moves > 0 && allWins)
            found = longestWin + 1;
        else if (moves == 0 && pass == 0 && p->check)
            found = 0;
        if (found >= 0) changes->push_back({index, static_cast<uint8_t>(found + 1)});
    }
    positionFree(p);
}

// Marks the placements that are no legal position.
void markIllegal(TbTable* table, uint64_t begin, uint64_t end) {
    Position* p = positionNew();
    for (uint64_t index = begin; index < end; index++)
        if (!tbPositionSet(*table, index, p)) table->values[index] = TB_ILLEGAL;
    positionFree(p);
}

// Runs work(begin, end, part) on `threads` contiguous parts of [0, size).
template <typename Work>
void inParts(int threads, uint64_t size, Work work) {
    std::vector<std::thread> helpers;
    uint64_t part = size / static_cast<uint64_t>(threads) + 1;
    for (int t = 1; t < threads; t++) {
        uint64_t begin = std::min(size, part * static_cast<uint64_t>(t));
        uint64_t end = std::min(size, begin + part);
        helpers.emplace_back(work, begin, end, t);
    }
    work(0, std::min(size, part), 0);
    for (std::thread& helper : helpers) helper.join();
}

void tableStats(TbTable* table) {
    TbStats& s = table->stats;
    uint64_t half = tbSize(table->material) / 2;
    for (uint64_t index = 0; index < 2 * half; index++) {
        uint8_t value = table->values[index];
        int side = index >= half;
        if (value == TB_ILLEGAL) continue;
        if (value == 0) {
            s.draws[side]++;
        } else {
            int distance = value - 1;
            s.longest = std::max(s.longest, distance);
            (distance % 2 ? s.wins : s.losses)[side]++;
        }
    }
}

}  // namespace

bool tbMaterialParse(const std::string& name, TbMaterial* material) {
    size_t v = name.find('v');
    if (name.size() < 3 || name[0] != 'K' || v == std::string::npos || v + 1 >= name.size() ||
        name[v + 1] != 'K')
        return false;
    std::vector<int> men;
    for (size_t i = 1; i < name.size(); i++) {
        if (i == v || i == v + 1) continue;
        const char* letter = strchr(MAN_LETTERS, name[i]);
        if (!letter || !name[i]) return false;
        men.push_back(MAN_ORDER[letter - MAN_LETTERS] + (i > v));
    }
    if (men.size() + 2 > TB_MAX_MEN) return false;
    *material = materialMake(men);
    return true;
}

std::string tbMaterialName(const TbMaterial& material) {
    std::string name = "K";
    bool black = false;
    for (int man : material.men) {
        if ((man & 1) && !black) {
            name += "vK";
            black = true;
        }
        name += MAN_LETTERS[manRank(man)];
    }
    if (!black) name += "vK";
    return name;
}

int tbIndexSquares(const TbTable& table, uint64_t index, int* squares) {
    int men = menOf(table);
    for (int i = men - 1; i >= 0; i--) {
        squares[i] = static_cast<int>(index & 63);
        index >>= 6;
    }
    return static_cast<int>(index);
}

uint64_t tbIndexOf(const TbMaterial& material, int player, const int* squares) {
    uint64_t index = static_cast<uint64_t>(player);
    for (int i = 0; i < tbMen(material); i++)
        index = index << 6 | static_cast<uint64_t>(squares[i]);
    return index;
}

bool tbPositionSet(const TbTable& table, uint64_t index, Position* p) {
    int squares[TB_MAX_MEN];
    int player = tbIndexSquares(table, index, squares);
    return tbPositionSetSquares(table.material, player, squares, p);
}

bool tbPositionSetSquares(const TbMaterial& material, int player, const int* squares, Position* p) {
    int men = tbMen(material);
    Bitboard occupied = 0;
    for (int i = 0; i < men; i++) {
        if (occupied & bitOf(squares[i])) return false;
        occupied |= bitOf(squares[i]);
        if (i >= 2 && (material.men[i - 2] & ~1) == WHITE_PAWN &&
            (squareRank(squares[i]) == 0 || squareRank(squares[i]) == 7))
            return false;
    }
    if (attackKing[squares[0]] & bitOf(squares[1])) return false;

    // Only the fields before the history matter to a fresh position.
    memset(static_cast<void*>(p), 0, offsetof(Position, history));
    addPiece(p, WHITE_KING, squares[0]);
    addPiece(p, BLACK_KING, squares[1]);
    for (int i = 2; i < men; i++) addPiece(p, material.men[i - 2], squares[i]);
    p->player = player;
    if (player == BLACK) p->key ^= zobrist.turn;
    if (squareAttacked(p, squares[player ^ 1], player)) return false;
    p->check = positionIsInCheck(p);
    return true;
}

int tbExpectedScore(uint8_t value) {
    if (value == 0) return 0;
    int distance = value - 1;
    return distance % 2 ? 20000 - 40 * distance : -(20000 - 40 * distance);
}

std::string tbFen(const TbTable& table, uint64_t index) {
    int squares[TB_MAX_MEN];
    int player = tbIndexSquares(table, index, squares);
    return tbFen(table.material, player, squares);
}

std::string tbFen(const TbMaterial& material, int player, const int* squares) {
    char board[64];
    memset(board, 0, sizeof board);
    board[squares[0]] = 'K';
    board[squares[1]] = 'k';
    for (int i = 2; i < tbMen(material); i++) {
        int man = material.men[i - 2];
        char letter = MAN_LETTERS[manRank(man)];
        board[squares[i]] = man & 1 ? static_cast<char>(letter - 'A' + 'a') : letter;
    }
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            char c = board[squareMake(file, rank)];
            if (!c) {
                empty++;
                continue;
            }
            if (empty) fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += static_cast<char>('0' + empty);
        if (rank) fen += '/';
    }
    fen += player ? " b - - 0 1" : " w - - 0 1";
    return fen;
}

std::vector<std::string> tbMaterialsOfMen(int men) {
    struct Entry {
        std::string name;
        int pawns;
        uint32_t key;
    };
    std::vector<Entry> list;
    // A side's counts of queens .. pawns, two bits each, queens highest.
    auto sideKey = [](const std::string& side) {
        uint32_t key = 0;
        for (char letter : std::string(MAN_LETTERS))
            key = key << 2 | static_cast<uint32_t>(std::count(side.begin(), side.end(), letter));
        return key;
    };
    auto add = [&](const std::string& white, const std::string& black) {
        std::string name = "K" + white + "vK" + black;
        int pawns = static_cast<int>(std::count(name.begin(), name.end(), 'P'));
        list.push_back({name, pawns, sideKey(white) << 10 | sideKey(black)});
    };
    const char* l = MAN_LETTERS;
    for (int a = 0; a < 5; a++) {
        if (men == 3) add({l[a]}, "");
        if (men == 4) {
            for (int b = a; b < 5; b++) add({l[a], l[b]}, "");
            for (int b = a; b < 5; b++) add({l[a]}, {l[b]});
        }
        for (int b = a; men == 5 && b < 5; b++) {
            for (int c = b; c < 5; c++) add({l[a], l[b], l[c]}, "");
            for (int c = 0; c < 5; c++) add({l[a], l[b]}, {l[c]});
        }
    }
    if (men == 5)
        std::stable_sort(list.begin(), list.end(), [](const Entry& x, const Entry& y) {
            return x.pawns != y.pawns ? x.pawns < y.pawns : x.key > y.key;
        });
    std::vector<std::string> names;
    for (const Entry& e : list) names.push_back(e.name);
    return names;
}

TbWalk tbWalkMake(const TbMaterial& material, bool everyNumber) {
    TbWalk walk;
    walk.material = material;
    walk.everyNumber = everyNumber;
    for (int man : material.men) walk.pawns |= (man & ~1) == WHITE_PAWN;
    return walk;
}

bool tbWalkUnit(const TbWalk& walk, int unit) {
    int whiteKing = unit >> 6 & 63, blackKing = unit & 63;
    if (whiteKing == blackKing || (attackKing[whiteKing] & bitOf(blackKing))) return false;
    if (walk.everyNumber) return true;
    int file = squareFile(whiteKing), rank = squareRank(whiteKing);
    if (file > 3) return false;
    if (walk.pawns) return true;
    // The mirror image across a1-h8 keeps a white king on that diagonal in
    // place and moves a black king above it below.
    if (rank > file) return false;
    return rank < file || squareRank(blackKing) <= squareFile(blackKing);
}

const TbTable& tbSolve(TbSolver* solver, const TbMaterial& material) {
    if (tbMen(material) > TB_SOLVE_MAX_MEN)
        fatalError("tbsolve: %s has more men than the solver takes\n",
                   tbMaterialName(material).c_str());
    uint32_t key = materialKey(material);
    if (auto found = solver->tables.find(key); found != solver->tables.end()) return *found->second;

    Successors successors;
    int externalLongest = 0;
    for (const TbMaterial& next : successorMaterials(material)) {
        const TbTable& solved = tbSolve(solver, next);
        uint32_t nextKey = materialKey(next);
        if (!successors.find(nextKey)) successors.others.push_back({nextKey, &solved});
        externalLongest = std::max(externalLongest, solved.stats.longest);
    }

    auto start = std::chrono::steady_clock::now();
    auto table = std::make_unique<TbTable>();
    table->material = material;
    uint64_t size = tbSize(material);
    table->values.assign(size, 0);
    successors.own = table.get();
    int threads = std::max(1, solver->threads);
    inParts(threads, size,
            [&](uint64_t begin, uint64_t end, int) { markIllegal(table.get(), begin, end); });

    // Pass 0 finds the checkmates; pass d the positions d plies from mate. Once a
    // pass changes nothing and no successor table holds a longer distance,
    // nothing can change any more.
    std::vector<std::vector<Change>> changes(static_cast<size_t>(threads));
    for (int pass = 0;; pass++) {
        if (pass > TB_MAX_DISTANCE)
            fatalError("tbsolve: %s has mates longer than a byte holds\n",
                       tbMaterialName(material).c_str());
        inParts(threads, size, [&](uint64_t begin, uint64_t end, int part) {
            changes[static_cast<size_t>(part)].clear();
            passRange(successors, pass, begin, end, &changes[static_cast<size_t>(part)]);
        });
        size_t changed = 0;
        for (const std::vector<Change>& part : changes) {
            for (const Change& c : part) table->values[c.index] = c.value;
            changed += part.size();
        }
        table->stats.passes = pass + 1;
        if (changed == 0 && pass > externalLongest) break;
    }
    tableStats(table.get());
    table->stats.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return *(solver->tables[key] = std::move(table));
}

TbCheck tbCheck(const TbTable& table, TbProbeFunction probe, int maxExamples) {
    TbCheck check;
    int squares[TB_MAX_MEN];
    for (uint64_t index = 0; index < table.values.size(); index++) {
        uint8_t value = table.values[index];
        if (value == TB_ILLEGAL) continue;
        int player = tbIndexSquares(table, index, squares);
        // Queen 2 .. pawn 6, black men 6 more; unused pairs are 0.
        int codes[3] = {0, 0, 0}, men[3] = {0, 0, 0};
        for (size_t i = 0; i < table.material.men.size(); i++) {
            int man = table.material.men[i];
            codes[i] = 2 + manRank(man) + (man & 1) * 6;
            men[i] = squares[i + 2];
        }
        int answer = probe(player, squares[0], squares[1], codes[0], men[0], codes[1], men[1],
                           codes[2], men[2]);
        check.positions++;
        int expected = tbExpectedScore(value);
        if (answer == expected) continue;
        (answer == 99999 ? check.unavailable : check.disagreements)++;
        if (static_cast<int>(check.examples.size()) < maxExamples)
            check.examples.push_back(tbFen(table, index) + ": library " + std::to_string(answer) +
                                     ", solved " + std::to_string(expected));
    }
    return check;
}
