#include "generate.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "moves.h"

namespace egbb {
namespace {

// A position's remaining work: how many moves (in half units, see below) still
// do not lead to a position the opponent wins, or one of these marks.
constexpr uint8_t ILLEGAL = 255, CANNOT_LOSE = 254;

// Runs work(first, last) over [0, size) in chunks handed out to `threads`
// threads; each chunk is done by one thread, so results do not depend on the
// count as long as the work per position is order-free.
template <class Work>
void parallelFor(uint64_t size, int threads, Work&& work) {
    constexpr uint64_t CHUNK = 4096;
    std::atomic<uint64_t> next{0};
    auto run = [&] {
        for (uint64_t first; (first = next.fetch_add(CHUNK)) < size;)
            work(first, std::min(size, first + CHUNK));
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(run);
    run();
    for (auto& t : pool) t.join();
}

struct Solver {
    Solver(const TableSet& k, const Layout& l, std::vector<uint8_t>* v)
        : known(k), layout(l), value(v) {}
    const TableSet& known;
    const Layout& layout;
    std::vector<uint8_t>* value;  // [2], the final coding
    std::vector<uint8_t> left[2];
    std::vector<uint8_t> captureLoss[2];  // longest loss a conversion gives, in moves
    std::atomic<int> highest{0};
    std::atomic<bool> failed{false};
    std::string error;

    std::atomic_ref<uint8_t> at(std::vector<uint8_t>& v, uint64_t i) {
        return std::atomic_ref(v[i]);
    }

    void raise(int plies) {
        int h = highest.load(std::memory_order_relaxed);
        while (plies > h && !highest.compare_exchange_weak(h, plies, std::memory_order_relaxed)) {
        }
    }

    void fail(const std::string& reason) {
        if (!failed.exchange(true)) error = reason;
    }

    void start(int side, uint64_t i) {
        Board board;
        board.sideToMove = side;
        if (!boardAt(layout, i, board)) {
            left[side][i] = ILLEGAL;
            return;
        }
        int bestWin = 1000, longestLoss = 0;
        bool escape = false, any = false;
        const int moves = countQuietMoves(board, [&](const Board& child) {
            any = true;
            uint8_t v;
            if (!known.valueOf(child, v)) {
                fail("no table for " + materialName(materialOf(child)));
                return;
            }
            if (isLoss(v))
                bestWin = std::min(bestWin, pliesOf(v) + 1);
            else if (isWin(v))
                longestLoss = std::max(longestLoss, pliesOf(v) + 1);
            else
                escape = true;
        });
        if (!any && moves == 0) {
            if (inCheck(board, side)) value[side][i] = lossIn(0);
            left[side][i] = CANNOT_LOSE;
            return;
        }
        if (bestWin < 1000) {
            value[side][i] = winIn(bestWin);
            raise(bestWin);
        }
        if (escape) {
            left[side][i] = CANNOT_LOSE;
        } else if (moves == 0) {
            if (!value[side][i]) value[side][i] = lossIn(longestLoss), raise(longestLoss);
            left[side][i] = CANNOT_LOSE;
        } else {
            left[side][i] = uint8_t(2 * moves);
            captureLoss[side][i] = uint8_t(longestLoss / 2);
        }
    }

    // Settles the positions one move before a position decided at `plies`.
    void propagate(int side, uint64_t i, int plies) {
        Board board;
        board.sideToMove = side;
        placeMen(layout, i, board);
        const bool lost = isLoss(value[side][i]);
        const int before = side ^ 1, next = plies + 1;
        if (next > MAX_PLIES) return fail("a distance longer than the coding holds");
        // Moves and moves back between symmetric boards come in pairs (see the
        // counts in half units): a board that is its own mirror image has one
        // move back for two moves into it.
        const int here = isSelfSymmetric(layout, board) ? 2 : 1;
        forEachMoveBack(board, [&](const Board& previous) {
            int moved = 0;
            while (previous.square[moved] == board.square[moved]) ++moved;
            uint64_t q = indexOfMoved(layout, i, board, moved, previous);
            auto v = at(value[before], q);
            if (lost) {
                uint8_t current = v.load(std::memory_order_relaxed), won = winIn(next);
                while ((current == 0 || (isWin(current) && current > won)) &&
                       !v.compare_exchange_weak(current, won, std::memory_order_relaxed)) {
                }
                return;
            }
            auto count = at(left[before], q);
            if (v.load(std::memory_order_relaxed) != 0 ||
                count.load(std::memory_order_relaxed) >= CANNOT_LOSE)
                return;
            int units = 2 * (isSelfSymmetric(layout, previous) ? 2 : 1) / here;
            if (count.fetch_sub(uint8_t(units), std::memory_order_relaxed) != units) return;
            int loss = std::max(next, 2 * int(captureLoss[before][q]));
            v.store(lossIn(loss), std::memory_order_relaxed);
            raise(loss);
        });
        if (lost) raise(next);
    }
};

// Adds `n` positions of value `v` for `side`.
void count(GenerateStats& stats, int side, uint8_t v, uint64_t n = 1) {
    if (!n) return;
    stats.legal[side] += n;
    if (isWin(v))
        stats.wins[side] += n;
    else if (isLoss(v))
        stats.losses[side] += n;
    else
        stats.draws[side] += n;
    if (v) stats.longestPlies = std::max(stats.longestPlies, pliesOf(v));
}

}  // namespace

bool TableSet::valueOf(const Board& board, uint8_t& value) const {
    if (board.count <= 2) {
        value = 0;
        return true;
    }
    Material material = materialOf(board);
    bool flip = !material.isCanonical();
    auto found = tables.find(flip ? material.flipped().key() : material.key());
    if (found == tables.end()) return false;
    const Board b = flip ? flipColours(board) : board;
    value = found->second.values[b.sideToMove][indexOf(found->second.layout, b)];
    return true;
}

bool generateTable(const Material& material, const TableSet& known, int threads, Table& table,
                   GenerateStats& stats, std::string& error, const Progress& progress) {
    table.layout = layoutOf(material);
    const Layout& layout = table.layout;
    Solver solver(known, layout, table.values);
    for (int side = 0; side < 2; ++side) {
        table.values[side].assign(layout.size, 0);
        solver.left[side].assign(layout.size, 0);
        solver.captureLoss[side].assign(layout.size, 0);
    }
    for (int side = 0; side < 2; ++side) {
        parallelFor(layout.size, threads, [&](uint64_t first, uint64_t last) {
            for (uint64_t i = first; i < last; ++i) solver.start(side, i);
        });
        if (progress) progress(0.25 * (side + 1));
    }
    for (int plies = 0; plies <= solver.highest.load() && !solver.failed; ++plies) {
        for (int side = 0; side < 2; ++side)
            parallelFor(layout.size, threads, [&](uint64_t first, uint64_t last) {
                // One byte value stands for this distance: a byte search finds
                // its positions.
                const uint8_t* values = table.values[side].data();
                const uint8_t wanted = plies % 2 ? winIn(plies) : lossIn(plies);
                for (uint64_t i = first; i < last; ++i) {
                    const void* hit = memchr(values + i, wanted, last - i);
                    if (!hit) break;
                    i = uint64_t(static_cast<const uint8_t*>(hit) - values);
                    solver.propagate(side, i, plies);
                }
            });
        if (progress) progress(0.5 + 0.5 * plies / std::max(1, solver.highest.load()));
    }
    if (solver.failed) {
        error = solver.error;
        return false;
    }
    // Illegal numbers take the side's most frequent value: the cheapest to code.
    // The counts of the legal values give the statistics too.
    stats = GenerateStats{};
    for (int side = 0; side < 2; ++side) {
        std::atomic<uint64_t> counts[256] = {};
        const uint8_t* left = solver.left[side].data();
        uint8_t* values = table.values[side].data();
        parallelFor(layout.size, threads, [&](uint64_t first, uint64_t last) {
            uint64_t local[256] = {};
            for (uint64_t i = first; i < last; ++i) local[values[i]] += left[i] != ILLEGAL;
            for (int v = 0; v < 256; ++v)
                if (local[v]) counts[v].fetch_add(local[v], std::memory_order_relaxed);
        });
        uint8_t common = 0;
        for (int v = 0; v < 256; ++v) {
            uint64_t n = counts[v].load(std::memory_order_relaxed);
            if (n > counts[common].load(std::memory_order_relaxed)) common = uint8_t(v);
            count(stats, side, uint8_t(v), n);
        }
        parallelFor(layout.size, threads, [&](uint64_t first, uint64_t last) {
            for (uint64_t i = first; i < last; ++i)
                if (left[i] == ILLEGAL) values[i] = common;
        });
    }
    return true;
}

GenerateStats countTable(const Table& table) {
    GenerateStats stats;
    for (int side = 0; side < 2; ++side)
        for (uint64_t i = 0; i < table.layout.size; ++i) {
            Board board;
            board.sideToMove = side;
            if (boardAt(table.layout, i, board)) count(stats, side, table.values[side][i]);
        }
    return stats;
}

}  // namespace egbb
