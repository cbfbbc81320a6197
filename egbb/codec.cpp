#include "codec.h"

#include <algorithm>

namespace egbb {
namespace {
constexpr uint32_t RANS_LOW = 1u << 23;
}

Model modelFromCounts(const uint64_t* counts) {
    Model model;
    uint64_t total = 0;
    int used = 0;
    for (int s = 0; s < 256; ++s) total += counts[s], used += counts[s] > 0;
    if (total == 0) {
        model.frequency[0] = CODEC_SCALE;
        modelComplete(model);
        return model;
    }
    // Scale down, keep every present byte, then give the rounding error to the
    // most frequent byte (taking from it when the sum overshoots).
    int64_t sum = 0, best = 0;
    for (int s = 0; s < 256; ++s) {
        if (!counts[s]) continue;
        uint64_t f = counts[s] * (CODEC_SCALE - used) / total + 1;
        model.frequency[s] = uint16_t(f);
        sum += int64_t(f);
        if (counts[s] > counts[best] || !counts[best]) best = s;
    }
    model.frequency[best] = uint16_t(int64_t(model.frequency[best]) + int64_t(CODEC_SCALE) - sum);
    modelComplete(model);
    return model;
}

bool modelComplete(Model& model) {
    uint32_t start = 0;
    for (int s = 0; s < 256; ++s) {
        model.start[s] = uint16_t(start);
        if (start + model.frequency[s] > CODEC_SCALE) return false;
        std::fill(model.symbol + start, model.symbol + start + model.frequency[s], uint8_t(s));
        start += model.frequency[s];
    }
    return start == CODEC_SCALE;
}

void encodeBlock(const Model& model, const uint8_t* data, size_t count, std::vector<uint8_t>& out) {
    std::vector<uint8_t> reversed;
    reversed.reserve(count / 2 + 16);
    uint32_t state = RANS_LOW;
    for (size_t i = count; i-- > 0;) {
        uint32_t f = model.frequency[data[i]];
        uint32_t limit = ((RANS_LOW >> CODEC_SCALE_BITS) << 8) * f;
        while (state >= limit) {
            reversed.push_back(uint8_t(state));
            state >>= 8;
        }
        state = (state / f << CODEC_SCALE_BITS) + state % f + model.start[data[i]];
    }
    for (int i = 0; i < 4; ++i) reversed.push_back(uint8_t(state >> (8 * i)));
    out.insert(out.end(), reversed.rbegin(), reversed.rend());
}

bool decodeBlock(const Model& model, const uint8_t* in, size_t size, uint8_t* data, size_t count) {
    if (size < 4) return false;
    uint32_t state = uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | in[3];
    size_t at = 4;
    for (size_t i = 0; i < count; ++i) {
        uint32_t slot = state & (CODEC_SCALE - 1);
        uint8_t s = model.symbol[slot];
        data[i] = s;
        state = model.frequency[s] * (state >> CODEC_SCALE_BITS) + slot - model.start[s];
        while (state < RANS_LOW) {
            if (at >= size) return false;
            state = state << 8 | in[at++];
        }
    }
    return at == size && state == RANS_LOW;
}

uint32_t checksum(const uint8_t* data, size_t size, uint32_t seed) {
    uint32_t h = seed;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

}  // namespace egbb
