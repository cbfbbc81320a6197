// The generator: retrograde analysis of one material at a time, captures and
// promotions resolved through the tables already made.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "format.h"

namespace egbb {

struct Table {
    Layout layout;
    std::vector<uint8_t> values[2];  // per side to move, in the file's coding
};

// The tables made or loaded so far, by material key (canonical colouring).
struct TableSet {
    std::map<uint32_t, Table> tables;
    // The value of a legal board for its side to move, in any colouring; false
    // when its table is not in the set. Bare kings are a draw.
    bool valueOf(const Board& board, uint8_t& value) const;
};

struct GenerateStats {
    uint64_t legal[2] = {}, wins[2] = {}, draws[2] = {}, losses[2] = {};
    int longestPlies = 0;
};

// Reports the work done so far, as a fraction of the table.
using Progress = std::function<void(double)>;

// Solves `material` (canonical colouring) with `threads` threads. The result
// is the same whatever the number of threads. False, with the reason, when a
// table it leads to is missing or a distance does not fit.
bool generateTable(const Material& material, const TableSet& known, int threads, Table& table,
                   GenerateStats& stats, std::string& error, const Progress& progress = {});

// Counts for a finished table.
GenerateStats countTable(const Table& table);

}  // namespace egbb
