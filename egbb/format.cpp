#include "format.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace egbb {
namespace {

void put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    bool ok = true;
    uint64_t get(int bytes) {
        if (end - at < bytes) {
            ok = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= uint64_t(at[i]) << (8 * i);
        at += bytes;
        return v;
    }
};

constexpr size_t FIXED_HEADER = 8 + 4 * 4 + 8 + 4;
// The fixed part, both models and their checksum.
constexpr size_t HEAD = FIXED_HEADER + 2 * 256 * 2 + 4;

uint64_t load(const uint8_t* at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(at[i]) << (8 * i);
    return v;
}

uint64_t offsetOf(const TableFile& table, int side, uint32_t block) {
    return load(table.map + table.offsetsAt + (uint64_t(side) * (table.blocks + 1) + block) * 8, 8);
}

uint32_t blocksOf(uint64_t positions) {
    return uint32_t((positions + BLOCK_POSITIONS - 1) / BLOCK_POSITIONS);
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t put = write(fd, data, size);
        if (put <= 0) return false;
        data += put, size -= size_t(put);
    }
    return true;
}

}  // namespace

std::string tableFileName(const Material& material) {
    return materialName(material) + TABLE_SUFFIX;
}

bool writeTable(const std::string& path, const Layout& layout, const uint8_t* const values[2],
                std::string& error) {
    uint32_t blocks = blocksOf(layout.size);
    std::vector<uint8_t> header, data;
    Model models[2];
    std::vector<uint64_t> offsets[2];
    std::vector<uint32_t> sums[2];
    for (int side = 0; side < 2; ++side) {
        uint64_t counts[256] = {};
        for (uint64_t i = 0; i < layout.size; ++i) ++counts[values[side][i]];
        models[side] = modelFromCounts(counts);
    }
    uint64_t dataStart = HEAD + 2 * (uint64_t(blocks) + 1) * 8 + 2 * uint64_t(blocks) * 4;
    for (int side = 0; side < 2; ++side) {
        for (uint32_t b = 0; b < blocks; ++b) {
            offsets[side].push_back(dataStart + data.size());
            size_t before = data.size();
            uint64_t first = uint64_t(b) * BLOCK_POSITIONS;
            size_t count = size_t(std::min<uint64_t>(BLOCK_POSITIONS, layout.size - first));
            encodeBlock(models[side], values[side] + first, count, data);
            sums[side].push_back(checksum(data.data() + before, data.size() - before));
        }
        offsets[side].push_back(dataStart + data.size());
    }
    header.insert(header.end(), TABLE_MAGIC, TABLE_MAGIC + 8);
    put(header, TABLE_VERSION, 4);
    put(header, layout.material.key(), 4);
    put(header, 0, 4);
    put(header, BLOCK_POSITIONS, 4);
    put(header, layout.size, 8);
    put(header, blocks, 4);
    for (const Model& m : models)
        for (uint16_t f : m.frequency) put(header, f, 2);
    put(header, checksum(header.data(), header.size()), 4);
    for (const auto& list : offsets)
        for (uint64_t o : list) put(header, o, 8);
    for (const auto& list : sums)
        for (uint32_t s : list) put(header, s, 4);
    if (header.size() != dataStart) {
        error = "header size mismatch";
        return false;
    }
    std::string temporary = path + ".part";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        error = "cannot create " + temporary + ": " + strerror(errno);
        return false;
    }
    bool ok = writeAll(fd, header.data(), header.size()) && writeAll(fd, data.data(), data.size());
    ok = ok && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool openTable(const std::string& path, TableFile& table, std::string& error) {
    table = TableFile{};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = strerror(errno);
        return false;
    }
    struct stat info;
    bool sized = fstat(fd, &info) == 0 && uint64_t(info.st_size) >= HEAD;
    void* map =
        sized ? mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);  // the mapping stays
    if (map == MAP_FAILED) {
        error = sized ? strerror(errno) : "truncated";
        return false;
    }
    table.map = static_cast<const uint8_t*>(map);
    table.size = size_t(info.st_size);
    auto fail = [&](const char* reason) {
        error = reason;
        closeTable(table);
        return false;
    };
    if (memcmp(table.map, TABLE_MAGIC, 8) != 0) return fail("not a table file");
    Reader r{table.map + 8, table.map + HEAD};
    if (r.get(4) != TABLE_VERSION) return fail("another version");
    uint32_t key = uint32_t(r.get(4));
    r.get(4);  // flags
    uint64_t blockPositions = r.get(4), positions = r.get(8), blocks = r.get(4);
    if (load(table.map + HEAD - 4, 4) != checksum(table.map, HEAD - 4))
        return fail("damaged header");
    Material material;
    for (int colour : {WHITE, BLACK})
        for (int t = QUEEN; t >= PAWN; --t)
            material.count[colour][t] = (key >> ((colour == WHITE ? 10 : 0) + 2 * (t - 1))) & 3;
    if (material.key() != key || material.men() > MAX_MEN || !material.isCanonical())
        return fail("unknown material");
    table.layout = layoutOf(material);
    if (blockPositions != BLOCK_POSITIONS || positions != table.layout.size ||
        blocks != blocksOf(positions))
        return fail("sizes do not match the material");
    for (Model& m : table.model) {
        for (uint16_t& f : m.frequency) f = uint16_t(r.get(2));
        if (!modelComplete(m)) return fail("damaged model");
    }
    table.blocks = uint32_t(blocks);
    table.offsetsAt = HEAD;
    table.sumsAt = HEAD + 2 * (blocks + 1) * 8;
    const uint64_t dataStart = table.sumsAt + 2 * blocks * 4;
    if (table.size < dataStart) return fail("truncated");
    // The data runs from the end of the block checksums to the end of the file.
    uint64_t end = offsetOf(table, 1, table.blocks);
    if (offsetOf(table, 0, 0) != dataStart || end < dataStart) return fail("damaged offsets");
    if (end != table.size) return fail(table.size < end ? "truncated" : "wrong length");
    table.path = path;
    return true;
}

void closeTable(TableFile& table) {
    if (table.map) munmap(const_cast<uint8_t*>(table.map), table.size);
    table.map = nullptr;
}

bool readBlock(const TableFile& table, int side, uint32_t block, uint8_t* values) {
    uint64_t from = offsetOf(table, side, block), to = offsetOf(table, side, block + 1);
    if (from > to || to > table.size || to - from > 2 * BLOCK_POSITIONS + 64) return false;
    const uint8_t* coded = table.map + from;
    uint32_t sum =
        uint32_t(load(table.map + table.sumsAt + (uint64_t(side) * table.blocks + block) * 4, 4));
    if (checksum(coded, size_t(to - from)) != sum) return false;
    uint64_t first = uint64_t(block) * BLOCK_POSITIONS;
    size_t count = size_t(std::min<uint64_t>(BLOCK_POSITIONS, table.layout.size - first));
    return decodeBlock(table.model[side], coded, size_t(to - from), values, count);
}

bool readSide(const TableFile& table, int side, std::vector<uint8_t>& values) {
    values.assign(table.layout.size, 0);
    for (uint32_t b = 0; b < table.blocks; ++b)
        if (!readBlock(table, side, b, values.data() + uint64_t(b) * BLOCK_POSITIONS)) return false;
    return true;
}

}  // namespace egbb
