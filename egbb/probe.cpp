#include "probe.h"

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace egbb {
namespace {

constexpr int WAYS = 4;

struct Slot {
    std::atomic<uint32_t> sequence{0};  // odd while a writer fills the slot
    std::atomic<uint64_t> tag{0};       // table, side and block; 0 when empty
    uint8_t data[BLOCK_POSITIONS];      // read and written through atomic_ref
};

struct Set {
    std::atomic<bool> locked{false};
    std::atomic<uint8_t> victim{0};
};

uint64_t tagOf(int table, int side, uint32_t block) {
    return uint64_t(table + 1) << 40 | uint64_t(side) << 32 | block;
}

}  // namespace

struct Library {
    std::vector<TableFile> tables;
    std::unique_ptr<std::atomic<bool>[]> refused;  // a damaged block was found
    // Material key to table, open addressing.
    static constexpr int KEYS = 1024;
    uint32_t keys[KEYS] = {};
    int16_t ids[KEYS] = {};
    size_t sets = 0;
    std::unique_ptr<Slot[]> slots;
    std::unique_ptr<Set[]> setLocks;

    int find(uint32_t key) const {
        for (uint32_t h = (key * 2654435761u) >> 22;; h = (h + 1) % KEYS) {
            if (keys[h] == key + 1) return ids[h];
            if (keys[h] == 0) return -1;
        }
    }
    void add(uint32_t key, int id) {
        uint32_t h = (key * 2654435761u) >> 22;
        while (keys[h]) h = (h + 1) % KEYS;
        keys[h] = key + 1;
        ids[h] = int16_t(id);
    }
    ~Library() {
        for (TableFile& t : tables) closeTable(t);
    }
};

std::unique_ptr<Library, void (*)(Library*)> openLibrary(const std::string& directory,
                                                         size_t cacheBytes) {
    std::unique_ptr<Library, void (*)(Library*)> library(new Library, [](Library* l) { delete l; });
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            size_t n = sizeof(TABLE_SUFFIX) - 1;
            if (name.size() > n && name.compare(name.size() - n, n, TABLE_SUFFIX) == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (library->tables.size() >= Library::KEYS / 2) break;
        TableFile table;
        std::string error, path = directory + "/" + name;
        if (!openTable(path, table, error)) {
            fprintf(stderr, "endgame tables: %s refused (%s), its positions are not known\n",
                    path.c_str(), error.c_str());
            continue;
        }
        if (library->find(table.layout.material.key()) >= 0) {
            closeTable(table);
            continue;
        }
        library->add(table.layout.material.key(), int(library->tables.size()));
        library->tables.push_back(std::move(table));
    }
    library->refused.reset(new std::atomic<bool>[library->tables.size() + 1]());
    library->sets = std::max<size_t>(1, cacheBytes / sizeof(Slot) / WAYS);
    library->slots.reset(new Slot[library->sets * WAYS]());
    library->setLocks.reset(new Set[library->sets]());
    return library;
}

int libraryTables(const Library& library) { return int(library.tables.size()); }

int probeBoard(Library& library, const Board& given) {
    if (!isLegal(given)) return NOT_AVAILABLE;
    if (given.count == 2) return 0;
    Material material = materialOf(given);
    bool flip = !material.isCanonical();
    const Board board = flip ? flipColours(given) : given;
    int id = library.find(flip ? material.flipped().key() : material.key());
    if (id < 0 || library.refused[id].load(std::memory_order_relaxed)) return NOT_AVAILABLE;
    const TableFile& table = library.tables[id];
    const int side = board.sideToMove;
    const uint64_t index = indexOf(table.layout, board);
    const uint32_t block = uint32_t(index / BLOCK_POSITIONS);
    const size_t offset = size_t(index % BLOCK_POSITIONS);
    const uint64_t tag = tagOf(id, side, block);
    // The table and side sit in the tag's high bits: fold them down before
    // the multiplication spreads them.
    const uint64_t hash = (tag ^ tag >> 29) * 0x9E3779B97F4A7C15ull;
    const size_t set = size_t((unsigned __int128)hash * library.sets >> 64);
    Slot* ways = &library.slots[set * WAYS];

    uint8_t value = 0;
    bool found = false;
    for (int w = 0; w < WAYS && !found; ++w) {
        Slot& slot = ways[w];
        uint32_t before = slot.sequence.load(std::memory_order_acquire);
        if ((before & 1) || slot.tag.load(std::memory_order_relaxed) != tag) continue;
        value = std::atomic_ref<uint8_t>(slot.data[offset]).load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        found = slot.sequence.load(std::memory_order_relaxed) == before;
    }
    if (!found) {
        thread_local uint8_t decoded[BLOCK_POSITIONS];
        if (!readBlock(table, side, block, decoded)) {
            if (!library.refused[id].exchange(true))
                fprintf(stderr,
                        "endgame tables: %s refused (damaged block), its positions are "
                        "not known\n",
                        table.path.c_str());
            return NOT_AVAILABLE;
        }
        value = decoded[offset];
        Set& lock = library.setLocks[set];
        // A busy set is left alone: the next probe of the block fills it.
        if (!lock.locked.exchange(true, std::memory_order_acquire)) {
            Slot& slot = ways[lock.victim.fetch_add(1, std::memory_order_relaxed) % WAYS];
            uint32_t s = slot.sequence.load(std::memory_order_relaxed);
            slot.sequence.store(s + 1, std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_release);
            slot.tag.store(tag, std::memory_order_relaxed);
            for (size_t i = 0; i < BLOCK_POSITIONS; ++i)
                std::atomic_ref<uint8_t>(slot.data[i]).store(decoded[i], std::memory_order_relaxed);
            slot.sequence.store(s + 2, std::memory_order_release);
            lock.locked.store(false, std::memory_order_release);
        }
    }
    if (value == 0) return 0;
    int score = WIN_SCORE - PLY_SCORE * pliesOf(value);
    return isWin(value) ? score : -score;
}

}  // namespace egbb
