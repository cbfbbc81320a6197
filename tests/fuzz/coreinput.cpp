#include "fuzz/coreinput.h"

#include <cstring>

#include "base/piece.h"
#include "board/position.h"
#include "support/reference.h"

namespace {

// The frames a built board starts from (placement fields).
constexpr const char* FRAMES[] = {
    "4k3/8/8/8/8/8/8/4K3",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
    "r3k2r/8/8/8/8/8/8/R3K2R",
    "r3k2r/PP4PP/8/8/8/8/pp4pp/R3K2R",
    "k7/8/8/r2pP2K/8/8/8/8",
    "qqqqkqqq/qqqqqqqq/8/8/8/8/QQQQQQQQ/QQQQKQQQ",
    "nnnnknnn/nnnnnnnn/8/8/8/8/NNNNNNNN/NNNNKNNN",
};
constexpr int FRAME_COUNT = sizeof FRAMES / sizeof FRAMES[0];

struct Board {
    int men[64] = {};
    int side = WHITE;
};

void readFrame(const char* placement, Board* b) {
    int rank = 7, file = 0;
    for (const char* s = placement; *s; s++) {
        if (*s == '/') {
            rank--, file = 0;
        } else if (*s >= '1' && *s <= '8') {
            file += *s - '0';
        } else {
            b->men[squareMake(file++, rank)] =
                static_cast<int>(strchr(PIECE_CHARS, *s) - PIECE_CHARS);
        }
    }
}

void edit(Board* b, int where, int what) {
    int sq = where & 63, shape = where >> 6;
    int man = what % 13 == 0 ? EMPTY : what % 13 + 1;
    int file = squareFile(sq), rank = squareRank(sq);
    for (int t = 0; t < 64; t++) {
        int f = squareFile(t), r = squareRank(t);
        bool hit = shape == 0   ? t == sq
                   : shape == 1 ? r == rank
                   : shape == 2 ? f == file
                                : f - file <= 1 && file - f <= 1 && r - rank <= 1 && rank - r <= 1;
        if (hit) b->men[t] = man;
    }
}

bool sideInCheck(const Board& b, int side) {
    ReferenceBoard r{};
    memcpy(r.board, b.men, sizeof r.board);
    r.side = side;
    r.castling = 0;
    r.enPassant = -1;
    return referenceInCheck(r);
}

// One king a side (the first kept, a missing one put on the first empty
// square from its home), no pawn on a back rank, and the side whose king is
// attacked to move.
void repair(Board* b) {
    for (int f = 0; f < 8; f++) {
        for (int sq : {squareMake(f, 0), squareMake(f, 7)})
            if (b->men[sq] == WHITE_PAWN || b->men[sq] == BLACK_PAWN) b->men[sq] = EMPTY;
    }
    for (int colour = WHITE; colour <= BLACK; colour++) {
        int king = WHITE_KING + colour;
        bool seen = false;
        for (int sq = 0; sq < 64; sq++) {
            if (b->men[sq] != king) continue;
            if (seen) b->men[sq] = EMPTY;
            seen = true;
        }
        if (seen) continue;
        int home = colour == WHITE ? E1 : E8;
        int step = colour == WHITE ? 1 : 63;
        int sq = home;
        for (int i = 0; i < 64 && b->men[sq] != EMPTY; i++) sq = (sq + step) & 63;
        // A full board gives up the home square's man (the other king excepted).
        if (b->men[sq] != EMPTY && b->men[sq] == WHITE_KING + (colour ^ 1)) sq ^= 1;
        b->men[sq] = king;
    }
    if (sideInCheck(*b, b->side ^ 1)) b->side ^= 1;
}

std::string placement(const Board& b) {
    std::string text;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int man = b.men[squareMake(file, rank)];
            if (man == EMPTY) {
                empty++;
                continue;
            }
            if (empty) text += static_cast<char>('0' + empty), empty = 0;
            text += PIECE_CHARS[man];
        }
        if (empty) text += static_cast<char>('0' + empty);
        if (rank) text += '/';
    }
    return text;
}

// Decodes a built board from the bytes at `at`, which it advances past them.
std::string buildFen(int header, const uint8_t* data, size_t size, size_t* at) {
    auto next = [&]() -> int { return *at < size ? data[(*at)++] : 0; };
    Board b;
    readFrame(FRAMES[next() % FRAME_COUNT], &b);
    int fields = next();
    int extra = next();
    b.side = fields & 1;
    int edits = extra >> 3;
    for (int i = 0; i < edits && *at < size; i++) {
        int where = next();
        edit(&b, where, next());
    }

    int enPassant = -1;
    if (fields & 32) {
        int file = extra & 7, us = b.side, them = us ^ 1;
        enPassant = squareMake(file, us == WHITE ? 5 : 2);
        if (fields & 64) {
            // The pawn that has just stepped two squares, the squares it
            // crossed empty, and a pawn of the side to move beside it.
            int stepped = us == WHITE ? enPassant - 8 : enPassant + 8;
            int origin = us == WHITE ? enPassant + 8 : enPassant - 8;
            b.men[stepped] = WHITE_PAWN + them;
            b.men[enPassant] = b.men[origin] = EMPTY;
            bool left = (fields & 128) ? file > 0 : file == 7;
            b.men[left ? stepped - 1 : stepped + 1] = WHITE_PAWN + us;
        }
    }
    if (header & CORE_REPAIR) repair(&b);

    std::string fen = placement(b);
    fen += b.side == WHITE ? " w " : " b ";
    std::string rights;
    for (int i = 0; i < 4; i++)
        if (fields & (2 << i)) rights += "KQkq"[i];
    fen += rights.empty() ? "-" : rights;
    if (enPassant >= 0) {
        fen += ' ';
        fen += static_cast<char>('a' + squareFile(enPassant));
        fen += static_cast<char>('1' + squareRank(enPassant));
    } else {
        fen += " -";
    }
    return fen + " 0 1";
}

}  // namespace

CoreInput coreInputDecode(const uint8_t* data, size_t size) {
    CoreInput input;
    if (size == 0) return input;
    input.header = data[0];
    size_t at = 1;
    if (input.header & CORE_BUILT) {
        input.fen = buildFen(input.header, data, size, &at);
    } else {
        const void* newline = memchr(data + at, '\n', size - at);
        size_t end =
            newline ? static_cast<size_t>(static_cast<const uint8_t*>(newline) - data) : size;
        input.fen.assign(reinterpret_cast<const char*>(data + at), end - at);
        at = newline ? end + 1 : size;
    }
    size_t plies = size - at < CORE_MAX_PLIES ? size - at : CORE_MAX_PLIES;
    input.moves.assign(data + at, data + at + plies);
    return input;
}

std::string coreInputEncode(int header, const std::string& fen, const std::vector<uint8_t>& moves) {
    std::string bytes(1, static_cast<char>(header & ~CORE_BUILT));
    bytes += fen;
    bytes += '\n';
    bytes.append(moves.begin(), moves.end());
    return bytes;
}
