#include "index.h"

#include <algorithm>
#include <array>
#include <vector>

namespace egbb {
namespace {

// Binomial coefficients and the combinations of up to three squares in the
// order of their number c(a) + c(b, 2) + c(c, 3) with a < b < c.
struct Combinations {
    uint64_t choose[65][4] = {};
    std::vector<std::array<uint8_t, 3>> pairs, triples;
    Combinations() {
        for (int n = 0; n <= 64; ++n) {
            choose[n][0] = 1;
            for (int k = 1; k < 4; ++k)
                choose[n][k] = n == 0 ? 0 : choose[n - 1][k - 1] + choose[n - 1][k];
        }
        for (uint8_t b = 1; b < 64; ++b)
            for (uint8_t a = 0; a < b; ++a) pairs.push_back({a, b, 0});
        for (uint8_t c = 2; c < 64; ++c)
            for (uint8_t b = 1; b < c; ++b)
                for (uint8_t a = 0; a < b; ++a) triples.push_back({a, b, c});
    }
};
const Combinations combinationTable;
inline const Combinations& combinations() { return combinationTable; }

// The triangle square numbers, -1 elsewhere.
constexpr std::array<int8_t, 64> TRIANGLE = [] {
    std::array<int8_t, 64> t{};
    int next = 0;
    for (int s = 0; s < 64; ++s) {
        int f = s & 7, r = s >> 3;
        t[s] = f <= 3 && r <= f ? int8_t(next++) : int8_t(-1);
    }
    return t;
}();
constexpr int8_t TRIANGLE_SQUARE[10] = {0, 1, 2, 3, 9, 10, 11, 18, 19, 27};

// The symmetries that bring a white king on each square into the triangle:
// one, or two when it lands on the diagonal.
struct TriangleSymmetries {
    uint8_t count[64] = {}, symmetry[64][2] = {};
    constexpr TriangleSymmetries() {
        for (int s = 0; s < 64; ++s)
            for (int t = 0; t < 8; ++t) {
                int to = s;
                if (t & 4) to = (to >> 3) | ((to & 7) << 3);
                if (t & 1) to ^= 7;
                if (t & 2) to ^= 56;
                if (TRIANGLE[to] >= 0) symmetry[s][count[s]++] = uint8_t(t);
            }
    }
};
constexpr TriangleSymmetries TO_TRIANGLE;

// The image of every square under each of the eight symmetries.
constexpr auto IMAGE = [] {
    std::array<std::array<uint8_t, 64>, 8> image{};
    for (int t = 0; t < 8; ++t)
        for (int s = 0; s < 64; ++s) image[t][s] = uint8_t(transform(t, s));
    return image;
}();

// A group's number: its squares as a combination (sorted here, in place).
inline uint64_t groupNumber(uint8_t* s, int count) {
    const auto& c = combinations();
    if (count == 1) return s[0];
    if (s[0] > s[1]) std::swap(s[0], s[1]);
    if (count == 2) return c.choose[s[0]][1] + c.choose[s[1]][2];
    if (s[1] > s[2]) std::swap(s[1], s[2]);
    if (s[0] > s[1]) std::swap(s[0], s[1]);
    return c.choose[s[0]][1] + c.choose[s[1]][2] + c.choose[s[2]][3];
}

// The number of a board after a symmetry; `kingNumber` maps the two king
// squares (after it) to the kings' part.
template <class KingNumber>
uint64_t numberAfter(const Layout& layout, const Board& board, int symmetry,
                     KingNumber&& kingNumber) {
    const uint8_t* image = IMAGE[symmetry].data();
    uint8_t squares[MAX_MEN][3];
    uint8_t filled[MAX_MEN] = {};
    int king[2] = {0, 0};
    for (int i = 0; i < board.count; ++i) {
        int man = board.man[i], square = image[board.square[i]], g = layout.groupOf[man];
        if (g < 0)
            king[colourOf(man)] = square;
        else
            squares[g][filled[g]++] = uint8_t(typeOf(man) == PAWN ? square - 8 : square);
    }
    uint64_t n = kingNumber(king[WHITE], king[BLACK]);
    for (int g = 0; g < layout.groups; ++g)
        n = n * layout.groupSize[g] + groupNumber(squares[g], layout.groupCount[g]);
    return n;
}

}  // namespace

Layout layoutOf(const Material& material) {
    const auto& c = combinations();
    Layout layout;
    layout.material = material;
    layout.pawns = material.pawns() > 0;
    std::fill(layout.groupOf, layout.groupOf + 16, int8_t(-1));
    layout.size = layout.pawns ? 32 * 64 : 10 * 64;
    for (int colour : {WHITE, BLACK})
        for (int t = QUEEN; t >= PAWN; --t) {
            int k = material.count[colour][t];
            if (!k) continue;
            int g = layout.groups++;
            layout.groupMan[g] = uint8_t(t | colour << 3);
            layout.groupOf[t | colour << 3] = int8_t(g);
            layout.groupCount[g] = uint8_t(k);
            layout.groupSize[g] = c.choose[t == PAWN ? 48 : 64][k];
            layout.size *= layout.groupSize[g];
        }
    uint64_t stride = 1;
    for (int g = layout.groups - 1; g >= 0; --g) {
        layout.groupStride[g] = stride;
        stride *= layout.groupSize[g];
    }
    layout.kingStride = stride;
    return layout;
}

uint64_t indexOf(const Layout& layout, const Board& board) {
    int wk = kingSquare(board, WHITE);
    if (layout.pawns)
        return numberAfter(layout, board, fileOf(wk) >= 4 ? 1 : 0, [](int w, int b) {
            return uint64_t(rankOf(w) * 4 + fileOf(w)) * 64 + uint64_t(b);
        });
    uint64_t best = UINT64_MAX;
    for (int k = 0; k < TO_TRIANGLE.count[wk]; ++k)
        best = std::min(best,
                        numberAfter(layout, board, TO_TRIANGLE.symmetry[wk][k], [](int w, int b) {
                            return uint64_t(TRIANGLE[w]) * 64 + uint64_t(b);
                        }));
    return best;
}

uint64_t indexOfMoved(const Layout& layout, uint64_t index, const Board& board, int moved,
                      const Board& next) {
    const int man = board.man[moved];
    if (man == KING || (!layout.pawns && kingSquare(board, WHITE) % 9 == 0))
        return indexOf(layout, next);
    const int64_t step = int64_t(next.square[moved]) - int64_t(board.square[moved]);
    if (man == (KING | BLACK << 3)) return index + uint64_t(step * int64_t(layout.kingStride));
    const int g = layout.groupOf[man], count = layout.groupCount[g];
    if (count == 1) return index + uint64_t(step * int64_t(layout.groupStride[g]));
    // Identical men: the group's combination number before and after.
    uint8_t from[3], to[3];
    int n = 0;
    for (int i = 0; i < board.count; ++i)
        if (board.man[i] == man) {
            int pawn = typeOf(man) == PAWN ? 8 : 0;
            from[n] = uint8_t(board.square[i] - pawn);
            to[n++] = uint8_t(next.square[i] - pawn);
        }
    const int64_t change = int64_t(groupNumber(to, count)) - int64_t(groupNumber(from, count));
    return index + uint64_t(change * int64_t(layout.groupStride[g]));
}

bool boardAt(const Layout& layout, uint64_t index, Board& board) {
    if (index >= layout.size) return false;
    placeMen(layout, index, board);
    if (!isLegal(board)) return false;
    // Without pawns, a white king on the diagonal gives two numbers to the
    // same position; only the smaller is used.
    int wk = board.square[board.count - 2];
    return layout.pawns || wk % 9 != 0 || indexOf(layout, board) == index;
}

void placeMen(const Layout& layout, uint64_t index, Board& board) {
    const auto& c = combinations();
    board.count = 0;
    uint64_t rest = index;
    for (int g = layout.groups - 1; g >= 0; --g) {
        uint64_t n = rest % layout.groupSize[g];
        rest /= layout.groupSize[g];
        int k = layout.groupCount[g], man = layout.groupMan[g];
        const uint8_t* s = k == 1 ? nullptr : k == 2 ? c.pairs[n].data() : c.triples[n].data();
        for (int i = 0; i < k; ++i) {
            int square = k == 1 ? int(n) : s[i];
            if (typeOf(man) == PAWN) square += 8;
            board.man[board.count] = uint8_t(man);
            board.square[board.count++] = uint8_t(square);
        }
    }
    int bk = int(rest % 64), w = int(rest / 64);
    int wk = layout.pawns ? (w / 4) * 8 + w % 4 : TRIANGLE_SQUARE[w];
    board.man[board.count] = KING | WHITE << 3;
    board.square[board.count++] = uint8_t(wk);
    board.man[board.count] = KING | BLACK << 3;
    board.square[board.count++] = uint8_t(bk);
}

bool isSelfSymmetric(const Layout& layout, const Board& board) {
    if (layout.pawns) return false;
    // A symmetry that maps the board onto itself keeps the white king where it
    // is: only the diagonal mirror (4) fixes the squares of the a1-h8
    // diagonal, only the other diagonal's (7) those of a8-h1.
    int wk = kingSquare(board, WHITE);
    int symmetry = wk % 9 == 0 ? 4 : wk % 7 == 0 && wk != 0 && wk != 63 ? 7 : 0;
    if (!symmetry) return false;
    // Every man's image square holds the same man (identical men may swap).
    for (int i = 0; i < board.count; ++i) {
        int image = transform(symmetry, board.square[i]);
        bool found = false;
        for (int j = 0; j < board.count && !found; ++j)
            found = board.square[j] == image && board.man[j] == board.man[i];
        if (!found) return false;
    }
    return true;
}

}  // namespace egbb
