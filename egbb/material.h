// Materials: which men besides the two kings a table holds. Each table is
// stored in one colouring, white the stronger side; the other colouring is
// probed by flipping the board.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chess.h"

namespace egbb {

struct Material {
    uint8_t count[2][7] = {};  // [colour][type], pawn .. queen

    int men() const;
    int pawns() const { return count[WHITE][PAWN] + count[BLACK][PAWN]; }
    // 2 bits a count, colours and types in a fixed order: the table's identity.
    uint32_t key() const;
    Material flipped() const;
    // White at least as strong as black (men, then value, then a fixed order).
    bool isCanonical() const;
    bool operator==(const Material& other) const { return key() == other.key(); }
};

Material materialOf(const Board& board);
// "KQvKR" style names; parsing accepts any order of letters after each K.
std::string materialName(const Material& material);
bool parseMaterial(const std::string& name, Material& material);
// Every canonical material with 3 .. `maxMen` men (kings included), in the
// order they must be generated: fewer men first, then fewer pawns, so that
// captures and promotions always lead to tables that exist.
std::vector<Material> materialsUpTo(int maxMen);

}  // namespace egbb
