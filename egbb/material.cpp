#include "material.h"

#include <algorithm>

namespace egbb {
namespace {
const char LETTERS[] = " PNBRQK";
const int VALUE[7] = {0, 1, 3, 3, 5, 9, 0};

int strength(const Material& m, int colour) {
    int value = 0;
    for (int t = PAWN; t <= QUEEN; ++t) value += VALUE[t] * m.count[colour][t];
    return value;
}

int menOf(const Material& m, int colour) {
    int men = 0;
    for (int t = PAWN; t <= QUEEN; ++t) men += m.count[colour][t];
    return men;
}

uint32_t sideKey(const Material& m, int colour) {
    uint32_t key = 0;
    for (int t = QUEEN; t >= PAWN; --t) key = key << 2 | m.count[colour][t];
    return key;
}
}  // namespace

int Material::men() const { return 2 + menOf(*this, WHITE) + menOf(*this, BLACK); }

uint32_t Material::key() const { return sideKey(*this, WHITE) << 10 | sideKey(*this, BLACK); }

Material Material::flipped() const {
    Material m;
    for (int t = PAWN; t <= QUEEN; ++t) {
        m.count[WHITE][t] = count[BLACK][t];
        m.count[BLACK][t] = count[WHITE][t];
    }
    return m;
}

bool Material::isCanonical() const {
    int w = menOf(*this, WHITE), b = menOf(*this, BLACK);
    if (w != b) return w > b;
    int sw = strength(*this, WHITE), sb = strength(*this, BLACK);
    if (sw != sb) return sw > sb;
    return sideKey(*this, WHITE) >= sideKey(*this, BLACK);
}

Material materialOf(const Board& board) {
    Material m;
    for (int i = 0; i < board.count; ++i)
        if (typeOf(board.man[i]) != KING) ++m.count[colourOf(board.man[i])][typeOf(board.man[i])];
    return m;
}

std::string materialName(const Material& m) {
    std::string name;
    for (int colour : {WHITE, BLACK}) {
        if (colour == BLACK) name += 'v';
        name += 'K';
        for (int t = QUEEN; t >= PAWN; --t) name.append(m.count[colour][t], LETTERS[t]);
    }
    return name;
}

bool parseMaterial(const std::string& name, Material& m) {
    m = Material{};
    size_t v = name.find('v');
    if (v == std::string::npos || name.size() < 3 || name[0] != 'K' || name[v + 1] != 'K')
        return false;
    for (size_t i = 1; i < name.size(); ++i) {
        if (i == v || i == v + 1) continue;
        const char* letter = std::find(LETTERS + 1, LETTERS + 6, name[i]);
        if (letter == LETTERS + 6) return false;
        if (++m.count[i > v][letter - LETTERS] > 3) return false;
    }
    return m.men() <= MAX_MEN;
}

std::vector<Material> materialsUpTo(int maxMen) {
    std::vector<Material> list;
    // Every way of giving 1 .. maxMen-2 men to the two sides.
    std::vector<Material> frontier{Material{}};
    for (int added = 1; added <= maxMen - 2; ++added) {
        std::vector<Material> next;
        for (const Material& base : frontier)
            for (int colour : {WHITE, BLACK})
                for (int t = PAWN; t <= QUEEN; ++t) {
                    Material m = base;
                    ++m.count[colour][t];
                    if (std::none_of(next.begin(), next.end(),
                                     [&](const Material& o) { return o == m; }))
                        next.push_back(m);
                }
        for (const Material& m : next)
            if (m.isCanonical()) list.push_back(m);
        frontier = next;
    }
    std::stable_sort(list.begin(), list.end(), [](const Material& a, const Material& b) {
        if (a.men() != b.men()) return a.men() < b.men();
        if (a.pawns() != b.pawns()) return a.pawns() < b.pawns();
        return a.key() > b.key();
    });
    return list;
}

}  // namespace egbb
