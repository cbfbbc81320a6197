// The block coder: a static-model rANS coder over bytes. A model (one per table
// and side to move) gives every byte a frequency out of 4096; blocks are coded
// independently with it, so a probe decodes one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace egbb {

constexpr int CODEC_SCALE_BITS = 12;
constexpr uint32_t CODEC_SCALE = 1u << CODEC_SCALE_BITS;

struct Model {
    uint16_t frequency[256] = {};
    uint16_t start[256] = {};
    uint8_t symbol[CODEC_SCALE] = {};  // the byte of each slot, for decoding
};

// A model for the counts: every byte that occurs gets at least one slot.
Model modelFromCounts(const uint64_t* counts);
// Fills start[] and symbol[] from frequency[]; false when they do not sum to
// the scale (a damaged file).
bool modelComplete(Model& model);

void encodeBlock(const Model& model, const uint8_t* data, size_t count, std::vector<uint8_t>& out);
// Decodes `count` bytes; false when the input is malformed.
bool decodeBlock(const Model& model, const uint8_t* in, size_t size, uint8_t* data, size_t count);

// FNV-1a over bytes, for the header and block checks.
uint32_t checksum(const uint8_t* data, size_t size, uint32_t seed = 2166136261u);

}  // namespace egbb
