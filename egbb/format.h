// The table file: one file per material, "<name>.ktb". A header names the
// material and sizes; per side to move come the coding model, the file offset
// and the checksum of every block; a checksum over all of that closes the
// header. The data follows as independently coded blocks of BLOCK_POSITIONS
// values (the last one shorter).
//
// A value is one byte for the side to move: 0 a draw; 1..127 a win that mates
// in 2v-1 plies; 128+m a loss mated in 2m plies. Numbers that are not legal
// positions hold whatever codes shortest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec.h"
#include "index.h"

namespace egbb {

constexpr char TABLE_MAGIC[8] = {'K', 'O', 'R', 'V', 'A', 'N', 'T', 'B'};
constexpr uint32_t TABLE_VERSION = 2;
// Small blocks make a cache miss cheap (a probe decodes one block) at a cost
// of twelve header bytes a block.
constexpr uint32_t BLOCK_POSITIONS = 2048;
constexpr char TABLE_SUFFIX[] = ".ktb";

inline bool isWin(uint8_t v) { return v >= 1 && v < 128; }
inline bool isLoss(uint8_t v) { return v >= 128; }
inline int pliesOf(uint8_t v) { return v >= 128 ? 2 * (v - 128) : 2 * v - 1; }
inline uint8_t winIn(int plies) { return uint8_t((plies + 1) / 2); }
inline uint8_t lossIn(int plies) { return uint8_t(128 + plies / 2); }
constexpr int MAX_PLIES = 253;

struct TableFile {
    Layout layout;
    std::string path;
    int descriptor = -1;
    uint32_t blocks = 0;  // per side
    Model model[2];
    std::vector<uint64_t> offsets[2];  // blocks + 1 each
    std::vector<uint32_t> sums[2];
};

std::string tableFileName(const Material& material);

// Writes the table through a temporary file renamed into place, so a file
// under the real name is always complete. False (and a message) on failure.
bool writeTable(const std::string& path, const Layout& layout, const uint8_t* const values[2],
                std::string& error);

// Opens a table and checks its header; false with the reason when the file is
// missing, truncated, of another version or damaged.
bool openTable(const std::string& path, TableFile& table, std::string& error);
void closeTable(TableFile& table);

// Reads and decodes one block into `values` (BLOCK_POSITIONS bytes of room);
// false when the block is damaged. `scratch` holds the coded bytes.
bool readBlock(const TableFile& table, int side, uint32_t block, uint8_t* values,
               std::vector<uint8_t>& scratch);
// A whole side of a table, decoded (for tools and tests).
bool readSide(const TableFile& table, int side, std::vector<uint8_t>& values);

}  // namespace egbb
