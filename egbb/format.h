// The table file: one file per material, "<name>.ktb". A header names the
// material and sizes and holds the coding model of each side to move, closed by
// its checksum; then come, per side, the file offset of every block and, per
// side, every block's checksum; the data follows as independently coded blocks
// of BLOCK_POSITIONS values (the last one shorter). A reader maps the file and
// keeps nothing per block in memory: a five-man table has hundreds of
// thousands of blocks. An offset or block checksum that was damaged is found
// when the block is read, by the block's checksum.
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
constexpr uint32_t TABLE_VERSION = 3;
// Small blocks make a cache miss cheap (a probe decodes one block) at a cost
// of sixteen bytes a block (offset, checksum, the coder's final state). A
// search in five-man endings misses on most of its probes there, whatever
// the cache: 512 values search twice as fast as 2048 for 9% more disk.
constexpr uint32_t BLOCK_POSITIONS = 512;
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
    const uint8_t* map = nullptr;  // the whole file, read-only
    size_t size = 0;
    uint32_t blocks = 0;  // per side
    Model model[2];
    size_t offsetsAt = 0, sumsAt = 0;  // where the block offsets and checksums start
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

// Decodes one block into `values` (BLOCK_POSITIONS bytes of room); false when
// the block is damaged.
bool readBlock(const TableFile& table, int side, uint32_t block, uint8_t* values);
// A whole side of a table, decoded (for tools and tests).
bool readSide(const TableFile& table, int side, std::vector<uint8_t>& values);

}  // namespace egbb
