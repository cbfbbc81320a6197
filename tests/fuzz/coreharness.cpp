#include "fuzz/coreharness.h"

#include <glib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/output.h"
#include "book/book.h"
#include "eval/evaluator.h"
#include "eval/pawntable.h"
#include "frontend/engine.h"
#include "fuzz/coreinput.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"
#include "moves/picker.h"
#include "search/hash.h"
#include "search/history.h"
#include "search/root.h"
#include "search/search.h"
#include "search/startsearch.h"
#include "support/boardcheck.h"
#include "support/evalpositions.h"
#include "support/reference.h"

namespace {

CoreSettings settings;
bool verboseRun = false;
CoreCounts counts;

// What the failure message reports: the input's record and the moves so far.
// The input before is kept too, for a fault that shows only after it.
std::string inputFen;
std::string previousInput, thisInput;
std::vector<std::string> played;

// Positions kept off the stack (each holds the whole history).
Position* current = nullptr;
Position* saved = nullptr;
Position* scratch = nullptr;
Position* mirror = nullptr;

// What tells positions apart for the repetition rule: the men, the side, the
// castling rights and the en-passant square. One per position of the walk.
using Signature = std::array<int8_t, 67>;
std::vector<Signature> reached;

Signature signature(const Position* p) {
    Signature s;
    for (int sq = 0; sq < 64; sq++) s[static_cast<size_t>(sq)] = static_cast<int8_t>(p->board[sq]);
    s[64] = static_cast<int8_t>(p->player);
    s[65] = static_cast<int8_t>(p->castling);
    s[66] = static_cast<int8_t>(p->enPassant);
    return s;
}
// The pseudo-legal moves of the position checked before: move words that are
// mostly not moves of the next one, for the table-move test.
std::vector<Move> foreignMoves;

// The book file the probes write (a memory file) and its path.
int bookFd = -1;
char bookPath[64];

std::string moveText(Move move) {
    char text[MOVE_TEXT_SIZE];
    moveToString(move, text);
    return text;
}

[[noreturn]] void fail(const Position* p, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void fail(const Position* p, const char* format, ...) {
    outCaptureEnd();
    fprintf(stderr,
            "\n==== core invariant broken ====\ninput record: %s\nmoves:", inputFen.c_str());
    for (const auto& m : played) fprintf(stderr, " %s", m.c_str());
    if (p)
        fprintf(stderr, "\nposition: %s (ply %d, static moves %d)", testFen(p).c_str(), p->ply,
                p->staticMoves);
    fprintf(stderr, "\n");
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    std::string path = std::string(g_get_tmp_dir()) + "/korvan-core-previous-input";
    if (FILE* file = fopen(path.c_str(), "wb")) {
        fwrite(previousInput.data(), 1, previousInput.size(), file);
        fclose(file);
        fprintf(stderr, "(the input run before this one is in %s)\n", path.c_str());
    }
    abort();
}

void dropWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// The state of a position: every field and the history records below its ply
// (the record at the ply is scratch space for the next move).
constexpr size_t STATE_BYTES = offsetof(Position, history);

void stateCopy(Position* to, const Position* from) {
    memcpy(to, from, STATE_BYTES);
    memcpy(to->history, from->history, static_cast<size_t>(from->ply) * sizeof(HistoryRecord));
}

// Byte blocks compared word by word: memcmp would hand every call, whole
// positions included, to the fuzzer's comparison hooks.
bool sameBytes(const void* a, const void* b, size_t size) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t u, v;
        memcpy(&u, x + i, 8);
        memcpy(&v, y + i, 8);
        if (u != v) return false;
    }
    for (; i < size; i++)
        if (x[i] != y[i]) return false;
    return true;
}

bool stateSame(const Position* a, const Position* b) {
    return a->ply == b->ply && sameBytes(a, b, STATE_BYTES) &&
           sameBytes(a->history, b->history, static_cast<size_t>(a->ply) * sizeof(HistoryRecord));
}

// The fields and the last history record only: what a move made and unmade
// can touch short of writing far off its own record (stateSame, once after
// all of them, catches that).
bool stateNearlySame(const Position* a, const Position* b) {
    return a->ply == b->ply && sameBytes(a, b, STATE_BYTES) &&
           (a->ply == 0 ||
            sameBytes(&a->history[a->ply - 1], &b->history[b->ply - 1], sizeof(HistoryRecord)));
}

ReferenceBoard referenceFlipped(const Position* p) {
    ReferenceBoard b = referenceFrom(p);
    b.side ^= 1;
    return b;
}

// ---- The FEN rules, read independently of the engine's reader ----

struct FenReading {
    bool accepted = false;
    int men[64] = {};
    int side = WHITE;
    int castling = 0;
    int enPassant = 0;
};

bool fieldEnd(char c) { return c == 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
const char* skipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t') s++;
    return s;
}

// Refused: not eight ranks of eight squares, a field of the first four
// missing, a letter that names no man, a bad en-passant square, not one king a
// side, a pawn on a back rank, the side not to move in check, an en-passant
// square off its rank or not behind a pawn that has just stepped. Dropped: a
// castling right whose king or rook is not at home, and an en-passant square
// no pawn of the side to move can take on. The side is black for a field
// starting with 'b'; other castling letters and anything after the fourth
// field are ignored.
FenReading fenRead(const char* text) {
    FenReading r;
    const char* s = skipBlanks(text);
    const char* placementEnd = s;
    while (!fieldEnd(*placementEnd)) placementEnd++;
    std::string placement(s, placementEnd);
    std::vector<std::string> ranks(1);
    for (char c : placement) {
        if (c == '/')
            ranks.emplace_back();
        else
            ranks.back() += c;
    }
    if (ranks.size() != 8) return r;
    for (int i = 0; i < 8; i++) {
        int file = 0;
        for (char c : ranks[i]) {
            if (c >= '1' && c <= '8') {
                file += c - '0';
            } else {
                const char* letters = "PpNnBbRrQqKk";
                const char* at = strchr(letters, c);
                if (!at) return r;
                if (file < 8)
                    r.men[squareMake(file, 7 - i)] = WHITE_PAWN + static_cast<int>(at - letters);
                file++;
            }
        }
        if (file != 8) return r;
    }

    s = skipBlanks(placementEnd);
    if (fieldEnd(*s)) return r;
    r.side = *s == 'b' ? BLACK : WHITE;
    while (!fieldEnd(*s)) s++;
    s = skipBlanks(s);
    if (fieldEnd(*s)) return r;
    int castling = 0;
    for (; !fieldEnd(*s); s++) {
        const char* at = strchr("KQkq", *s);
        if (at) castling |= 1 << (at - "KQkq");
    }
    s = skipBlanks(s);
    if (fieldEnd(*s)) return r;
    int enPassant = -1;
    if (*s != '-') {
        if (s[0] < 'a' || s[0] > 'h' || s[1] < '1' || s[1] > '8') return r;
        enPassant = squareMake(s[0] - 'a', s[1] - '1');
    }

    int kings[2] = {0, 0};
    for (int sq = 0; sq < 64; sq++) {
        int man = r.men[sq];
        if (man == WHITE_KING || man == BLACK_KING) kings[man & 1]++;
        if ((man == WHITE_PAWN || man == BLACK_PAWN) && (sq < 8 || sq >= 56)) return r;
    }
    if (kings[WHITE] != 1 || kings[BLACK] != 1) return r;
    ReferenceBoard b{};
    memcpy(b.board, r.men, sizeof b.board);
    b.side = r.side ^ 1;
    b.enPassant = -1;
    if (referenceInCheck(b)) return r;

    int us = r.side, them = us ^ 1;
    if (enPassant >= 0) {
        int ahead = us == WHITE ? -8 : 8;  // toward the pawn that stepped
        if (squareRank(enPassant) != (us == WHITE ? 5 : 2)) return r;
        int stepped = enPassant + ahead, origin = enPassant - ahead;
        if (r.men[stepped] != WHITE_PAWN + them || r.men[enPassant] != EMPTY ||
            r.men[origin] != EMPTY)
            return r;
        int file = squareFile(stepped);
        bool taker = (file > 0 && r.men[stepped - 1] == WHITE_PAWN + us) ||
                     (file < 7 && r.men[stepped + 1] == WHITE_PAWN + us);
        r.enPassant = taker ? enPassant : 0;
    }
    const int homes[4][2] = {{E1, H1}, {E1, A1}, {E8, H8}, {E8, A8}};
    for (int i = 0; i < 4; i++) {
        int colour = i / 2;
        if ((castling & (1 << i)) && r.men[homes[i][0]] == WHITE_KING + colour &&
            r.men[homes[i][1]] == WHITE_ROOK + colour)
            r.castling |= 1 << i;
    }
    r.accepted = true;
    return r;
}

// Reads the record into `p` and checks the reader against the rules.
bool checkFenRead(Position* p, const char* text) {
    stateCopy(saved, p);
    saved->history[p->ply] = p->history[p->ply];
    int accepted = positionSetFen(p, text);
    FenReading expected = fenRead(text);
    if (!accepted) {
        if (!stateSame(saved, p) ||
            !sameBytes(&saved->history[saved->ply], &p->history[p->ply], sizeof(HistoryRecord)))
            fail(p, "a refused record changed the position: \"%s\"", text);
        if (expected.accepted) fail(nullptr, "the rules accept the refused record \"%s\"", text);
        return false;
    }
    if (!expected.accepted) fail(p, "the rules refuse the accepted record \"%s\"", text);
    for (int sq = 0; sq < 64; sq++)
        if (p->board[sq] != expected.men[sq])
            fail(p, "square %d holds %d, the record %d: \"%s\"", sq, p->board[sq], expected.men[sq],
                 text);
    if (p->player != expected.side || p->castling != expected.castling ||
        p->enPassant != expected.enPassant)
        fail(p, "side %d, castling %d, en passant %d read; the record says %d, %d, %d: \"%s\"",
             p->player, p->castling, p->enPassant, expected.side, expected.castling,
             expected.enPassant, text);
    if (p->ply != 0 || p->staticMoves != 0) fail(p, "a record read leaves a history");
    return true;
}

// ---- Invariants of every position ----

void checkInvariants(const Position* p) {
    if (!positionLooksSound(p)) fail(p, "the colour sets, kings or ply are broken");
    for (int sq = 0; sq < 64; sq++)
        if (p->board[sq] != EMPTY && (p->board[sq] < WHITE_PAWN || p->board[sq] > BLACK_KING))
            fail(p, "square %d holds piece code %d", sq, p->board[sq]);
    std::string wrong = boardSumsMismatch(p);
    if (!wrong.empty()) fail(p, "the position's %s differs from its board", wrong.c_str());
    if ((p->bitboard[WHITE_PAWN] | p->bitboard[BLACK_PAWN]) & 0xff000000000000ffULL)
        fail(p, "a pawn on a back rank");
    if (referenceInCheck(referenceFlipped(p))) fail(p, "the side not to move is in check");
    if (p->check != static_cast<int>(referenceInCheck(referenceFrom(p))))
        fail(p, "the check flag is %d", p->check);
    if (p->castling & ~15) fail(p, "castling bits %d", p->castling);
    const int homes[4][2] = {{E1, H1}, {E1, A1}, {E8, H8}, {E8, A8}};
    for (int i = 0; i < 4; i++) {
        int colour = i / 2;
        if ((p->castling & (1 << i)) && (p->board[homes[i][0]] != WHITE_KING + colour ||
                                         p->board[homes[i][1]] != WHITE_ROOK + colour))
            fail(p, "castling right %d without its king and rook at home", i);
    }
    if (p->enPassant) {
        int us = p->player, them = us ^ 1, ep = p->enPassant;
        int stepped = us == WHITE ? ep - 8 : ep + 8, origin = us == WHITE ? ep + 8 : ep - 8;
        if (ep < 16 || ep >= 48 || squareRank(ep) != (us == WHITE ? 5 : 2))
            fail(p, "en-passant square %d on the wrong rank", ep);
        if (p->board[stepped] != WHITE_PAWN + them || p->board[ep] != EMPTY ||
            p->board[origin] != EMPTY)
            fail(p, "en-passant square %d not behind a pawn that has just stepped", ep);
        int file = squareFile(stepped);
        if (!((file > 0 && p->board[stepped - 1] == WHITE_PAWN + us) ||
              (file < 7 && p->board[stepped + 1] == WHITE_PAWN + us)))
            fail(p, "en-passant square %d with no pawn to take", ep);
    }
    if (p->staticMoves < 0 || p->staticMoves > p->ply)
        fail(p, "%d static moves in %d plies", p->staticMoves, p->ply);
}

// The record written from the position reads back into the same position.
void checkFenRoundTrip(const Position* p) {
    std::string fen = testFen(p);
    if (!positionSetFen(scratch, fen.c_str()))
        fail(p, "its own record is refused: %s", fen.c_str());
    Position* q = scratch;
    bool same = sameBytes(q->bitboard, p->bitboard, sizeof p->bitboard) &&
                q->occupied == p->occupied && sameBytes(q->board, p->board, sizeof p->board) &&
                q->player == p->player && q->key == p->key && q->enPassant == p->enPassant &&
                q->castling == p->castling && q->check == p->check &&
                q->material[0] == p->material[0] && q->material[1] == p->material[1] &&
                q->pvtOpening == p->pvtOpening && q->pvtEndgame == p->pvtEndgame &&
                q->phase == p->phase;
    if (!same) fail(p, "its record %s reads back into another position or key", fen.c_str());
}

// The Polyglot key summed square by square from the published layout: piece
// kinds black pawn 0, white pawn 1, ... white king 11, at 64 * kind + square;
// castling rights at 768 (K, Q, k, q); the en-passant file at 772 when a pawn
// of the side to move can take; white to move at 780.
uint64_t polyglotKey(const Position* p) {
    static int kindOf[14];
    if (!kindOf[BLACK_KING])
        for (int piece = WHITE_PAWN; piece <= BLACK_KING; piece++)
            kindOf[piece] =
                static_cast<int>(strchr("pPnNbBrRqQkK", PIECE_CHARS[piece]) - "pPnNbBrRqQkK");
    uint64_t key = 0;
    for (int sq = 0; sq < 64; sq++)
        if (p->board[sq] != EMPTY) key ^= POLYGLOT_RANDOM[64 * kindOf[p->board[sq]] + sq];
    for (int i = 0; i < 4; i++)
        if (p->castling & (1 << i)) key ^= POLYGLOT_RANDOM[768 + i];
    if (p->enPassant) {
        int stepped = p->player == WHITE ? p->enPassant - 8 : p->enPassant + 8;
        int pawn = WHITE_PAWN + p->player, file = squareFile(stepped);
        if ((file > 0 && p->board[stepped - 1] == pawn) ||
            (file < 7 && p->board[stepped + 1] == pawn))
            key ^= POLYGLOT_RANDOM[772 + file];
    }
    if (p->player == WHITE) key ^= POLYGLOT_RANDOM[780];
    return key;
}

// The repetition count against the records reached, and the search copy.
void checkRepetition(const Position* p) {
    int count = 0;
    int back = std::min(p->staticMoves, p->ply);
    for (int k = 1; k <= back; k++)
        if (sameBytes(reached[static_cast<size_t>(p->ply - k)].data(),
                      reached[static_cast<size_t>(p->ply)].data(), sizeof(Signature)))
            count++;
    if (positionRepeat(p) != count)
        fail(p, "repetition count %d, the records reached show %d", positionRepeat(p), count);

    // A copy over rubbish where the repetition scan and the last-move test read
    // reads the same.
    int first = p->ply - std::max(back, 1);
    if (first < 0) first = 0;
    memset(scratch->history + first, 0xa5,
           static_cast<size_t>(p->ply - first) * sizeof(HistoryRecord));
    positionCopy(scratch, p);
    if (!sameBytes(scratch, p, STATE_BYTES)) fail(p, "the search copy differs");
    if (positionRepeat(scratch) != count)
        fail(p, "the search copy counts %d repetitions", positionRepeat(scratch));
    if (passedPawnMove(scratch) != passedPawnMove(p)) fail(p, "the search copy lost the last move");
}

// A position after a legal move: the board, side, rights and en-passant
// square the reference walker reaches with the same move (which settles the
// rules of a position), the sums of its board, the check flag and the count
// of static moves.
void checkChild(const Position* p, Move move, const ReferenceChild& expected) {
    if (!positionLooksSound(p))
        fail(p, "after %s the colour sets or kings are broken", moveText(move).c_str());
    std::string wrong = boardSumsMismatch(p);
    if (!wrong.empty())
        fail(p, "after %s the position's %s differs from its board", moveText(move).c_str(),
             wrong.c_str());
    const ReferenceBoard& b = expected.board;
    for (int sq = 0; sq < 64; sq++)
        if (p->board[sq] != b.board[sq])
            fail(p, "after %s square %d holds %d, the reference %d", moveText(move).c_str(), sq,
                 p->board[sq], b.board[sq]);
    int enPassant = 0;
    if (b.enPassant >= 0) {
        int stepped = b.side == WHITE ? b.enPassant - 8 : b.enPassant + 8;
        int pawn = WHITE_PAWN + b.side, file = squareFile(stepped);
        if ((file > 0 && b.board[stepped - 1] == pawn) ||
            (file < 7 && b.board[stepped + 1] == pawn))
            enPassant = b.enPassant;
    }
    if (p->player != b.side || p->castling != b.castling || p->enPassant != enPassant)
        fail(p, "after %s side %d, castling %d, en passant %d; the reference %d, %d, %d",
             moveText(move).c_str(), p->player, p->castling, p->enPassant, b.side, b.castling,
             enPassant);
    if (p->check != static_cast<int>(referenceInCheck(b)))
        fail(p, "after %s the check flag is %d", moveText(move).c_str(), p->check);
    int previous = p->history[p->ply - 1].staticMoves;
    int man = p->board[moveTo(move)];
    bool resets = moveType(move) != MOVE_NORMAL || man == WHITE_PAWN || man == BLACK_PAWN;
    if (p->staticMoves != (resets ? 0 : previous + 1))
        fail(p, "after %s the static move count is %d", moveText(move).c_str(), p->staticMoves);
}

bool isTactical(Move move) {
    int type = moveType(move);
    return type == MOVE_CAPTURE || type == MOVE_EN_PASSANT || moveIsPromotion(move);
}

// A move's squares and promotion as one number, for matching the engine's
// moves with the reference walker's.
int moveKey(int from, int to, int promotion) { return promotion << 12 | from << 6 | to; }

// The promotion of a move as the reference walker and the book number it:
// 0 none, 1 to 4 a knight, bishop, rook or queen.
int promotionCode(Move move) {
    switch (moveType(move)) {
        case MOVE_PROMOTE_KNIGHT:
            return 1;
        case MOVE_PROMOTE_BISHOP:
            return 2;
        case MOVE_PROMOTE_ROOK:
            return 3;
        case MOVE_PROMOTE_QUEEN:
            return 4;
        default:
            return 0;
    }
}

int moveKey(Move move) { return moveKey(moveFrom(move), moveTo(move), promotionCode(move)); }

// Every generated move made and unmade; the legal ones against the reference.
// Fills `legal` with the legal moves in picker order.
void checkMoves(Position* p, MoveList* legal) {
    stateCopy(saved, p);
    const std::vector<ReferenceChild> children = referenceChildren(referenceFrom(p));
    std::vector<std::pair<int, size_t>> expected;  // move key, child index
    for (size_t i = 0; i < children.size(); i++)
        expected.emplace_back(moveKey(children[i].from, children[i].to, children[i].promotion), i);
    std::sort(expected.begin(), expected.end());
    std::vector<bool> seen(children.size());

    static MoveList lists[2];
    tacticalMovesGenerate(p, &lists[0]);
    quietMovesGenerate(p, &lists[1]);
    std::vector<Move> generated;
    size_t made = 0;
    for (int stage = 0; stage < 2; stage++) {
        const MoveList& list = lists[stage];
        if (list.count >= static_cast<uint32_t>(MAX_MOVES))
            fail(p, "%u moves fill a list of %d", list.count, MAX_MOVES);
        for (uint32_t i = 0; i < list.count; i++) {
            Move move = list.moves[i];
            generated.push_back(move);
            if (isTactical(move) != (stage == 0))
                fail(p, "%s comes from the wrong generator", moveText(move).c_str());
            if (!searchMoveUsable(p, move))
                fail(p, "the table-move test refuses the generated %s", moveText(move).c_str());
            if (moveDo(p, move)) {
                auto at = std::lower_bound(expected.begin(), expected.end(),
                                           std::make_pair(moveKey(move), size_t{0}));
                if (at == expected.end() || at->first != moveKey(move))
                    fail(saved, "the reference walker has no legal move %s",
                         moveText(move).c_str());
                if (seen[at->second]) fail(saved, "%s is generated twice", moveText(move).c_str());
                seen[at->second] = true;
                made++;
                checkChild(p, move, children[at->second]);
                moveUndo(p);
            }
            if (!stateNearlySame(p, saved))
                fail(saved, "making and unmaking %s changed the position", moveText(move).c_str());
        }
    }
    if (made != children.size()) {
        std::string missing;
        for (size_t i = 0; i < children.size(); i++)
            if (!seen[i]) missing += " " + children[i].text;
        fail(p, "%zu legal moves made, the reference has %zu; missing:%s", made, children.size(),
             missing.c_str());
    }

    if (!stateSame(p, saved)) fail(saved, "making and unmaking the moves changed the history");

    legalMovesGenerate(p, legal);
    std::vector<int> picked;
    for (uint32_t i = 0; i < legal->count; i++) picked.push_back(moveKey(legal->moves[i]));
    std::sort(picked.begin(), picked.end());
    bool same = picked.size() == expected.size();
    for (size_t i = 0; same && i < picked.size(); i++) same = picked[i] == expected[i].first;
    if (!same) fail(p, "the picker hands out other legal moves");
    if (!stateSame(p, saved)) fail(saved, "the picker changed the position");

    if (!p->check) {
        moveDo(p, MOVE_WORD_NULL);
        checkInvariants(p);
        moveUndo(p);
        if (!stateSame(p, saved))
            fail(saved, "making and unmaking the null move changed the position");
    }

    // Move words of another position: the table-move test accepts none that
    // the generators would not make here.
    std::sort(generated.begin(), generated.end());
    for (Move move : foreignMoves)
        if (searchMoveUsable(p, move) &&
            !std::binary_search(generated.begin(), generated.end(), move))
            fail(p, "the table-move test accepts %s (type %d), which is not a move here",
                 moveText(move).c_str(), moveType(move));
    foreignMoves = generated;
    for (Move castle : {CASTLE_E1G1, CASTLE_E1C1, CASTLE_E8G8, CASTLE_E8C8})
        foreignMoves.push_back(castle);
}

// ---- Evaluation ----

// The pawn table hands back the structure computed afresh.
void checkPawnTable(const Position* p) {
    int score[2];
    Bitboard passed[2];
    evalPawnStructure(p, score, passed);
    EvalInfo info{};
    evalPawns(p, &info);
    if (info.opening != score[0] || info.endgame != score[1] ||
        info.passed[WHITE] != passed[WHITE] || info.passed[BLACK] != passed[BLACK])
        fail(p, "the pawn table gives (%d, %d), the structure (%d, %d)", info.opening, info.endgame,
             score[0], score[1]);
}

void checkEvaluation(const Position* p, int header) {
    const int full = evaluate(p, -MATE, MATE, 1);
    if (full <= -MATE_BOUND || full >= MATE_BOUND)
        fail(p, "the evaluation %d reads as a mate score", full);
    std::string flipped = testMirroredFen(p);
    if (!positionSetFen(mirror, flipped.c_str()))
        fail(p, "the colour-flipped record %s is refused", flipped.c_str());
    checkPawnTable(p);
    checkPawnTable(mirror);
    int other = evaluate(mirror, -MATE, MATE, 1);
    if (other != full)
        fail(p, "evaluation %d, the colour-flipped position %s %d", full, flipped.c_str(), other);
    // Windows for the lazy evaluation: one set by the input, two around the score.
    static constexpr int WINDOWS[8][2] = {{-1, 1},    {-300, -100}, {100, 300},      {-900, -800},
                                          {500, 520}, {-50, 50},    {-30000, 30000}, {0, 1}};
    const int* w = WINDOWS[header >> CORE_WINDOW_SHIFT & 7];
    const int windows[3][2] = {{w[0], w[1]}, {full + 150, full + 260}, {full - 260, full - 150}};
    for (const auto& window : windows) {
        int lazy = evaluate(p, window[0], window[1], 0);
        int lazyOther = evaluate(mirror, window[0], window[1], 0);
        if (lazy != lazyOther)
            fail(p, "lazy evaluation in (%d, %d): %d, the colour-flipped position %d", window[0],
                 window[1], lazy, lazyOther);
    }
}

// ---- The sampled checks: search and book ----

struct Answer {
    int answers;
    bool noMove;
    Move best, ponder;
    bool scored;
    int score;
    Move line[16];  // the best line's move and its variation, ended by 0
};
Answer answer;
const Position* searched = nullptr;

void reportNothing(int) {}
void reportMoveStarted(int, int, const RootMoveList&) {}
void reportLines(const Position&, int depth, int lines, const RootMoveList& list) {
    for (int i = 0; i < lines; i++)
        if (list.moves[i].depth == static_cast<uint32_t>(depth) &&
            (list.moves[i].score < -MATE || list.moves[i].score > MATE))
            fail(searched, "line %d scores %d", i + 1, list.moves[i].score);
    answer.scored = true;
    answer.score = list.moves[0].score;
    answer.line[0] = list.moves[0].move;
    for (int i = 0; i < 15; i++) answer.line[i + 1] = list.moves[0].pv[i];
}
void reportDepthFinished(int, uint64_t) {}
void reportNoMove() { answer.noMove = true; }
void reportBestMove(Move best, Move ponder) {
    answer.answers++;
    answer.best = best;
    answer.ponder = ponder;
}
const SearchReport QUIET_REPORT = {reportNothing,       reportMoveStarted, reportLines,
                                   reportDepthFinished, reportNoMove,      reportBestMove};

bool checkmated(const ReferenceBoard& b) {
    return referenceInCheck(b) && referencePerft(b, 1) == 0;
}

// Runs the work on a thread of its own and raises the stop flag once the
// search has counted the settings' nodes; returns whether it had to.
template <class Work>
bool runBounded(Work work) {
    std::atomic<bool> done{false};
    stopFlag.store(0, std::memory_order_relaxed);
    ponderSearch.store(0, std::memory_order_relaxed);
    searchStatsReset();
    std::thread worker([&] {
        work();
        done.store(true, std::memory_order_release);
    });
    bool stopped = false;
    while (!done.load(std::memory_order_acquire)) {
        if (!stopped && searchNodes() >= settings.searchNodes) {
            stopFlag.store(1, std::memory_order_relaxed);
            stopped = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    worker.join();
    stopFlag.store(0, std::memory_order_relaxed);
    return stopped;
}

void checkSearch(Position* p, const MoveList& legal, int header) {
    const int depth = coreSearchDepth(header);
    stateCopy(saved, p);
    searched = p;
    hashClear();
    searchClockStart();
    SearchLimits limits;
    limits.depth = depth;
    limits.lines = header & (1 << CORE_WINDOW_SHIFT) ? 2 : 1;
    answer = Answer{};
    bool stopped = runBounded([&] { iterativeDeepening(p, limits, QUIET_REPORT); });
    counts.searches++;
    if (stopped) counts.searchesStopped++;
    if (!stateSame(p, saved)) fail(saved, "the search changed the position");
    if (answer.answers != 1) fail(p, "%d answers to one search", answer.answers);

    bool finished = legal.count == 0 || positionRepeat(p) >= 2 || p->staticMoves > 99;
    if (finished != answer.noMove || finished != (answer.best == 0))
        fail(p, "the search answers %s in a %s position", moveText(answer.best).c_str(),
             finished ? "finished" : "playable");
    if (finished) return;
    if (std::find(legal.moves, legal.moves + legal.count, answer.best) == legal.moves + legal.count)
        fail(p, "the search answers %s, not a legal move", moveText(answer.best).c_str());
    if (answer.ponder) {
        moveDo(p, answer.best);
        MoveList replies;
        legalMovesGenerate(p, &replies);
        bool found = std::find(replies.moves, replies.moves + replies.count, answer.ponder) !=
                     replies.moves + replies.count;
        moveUndo(p);
        if (!found) fail(p, "the ponder move %s is not legal", moveText(answer.ponder).c_str());
    }
    // The reported line, taken from the table, is a line of legal moves.
    if (answer.scored) {
        int made = 0;
        for (; made < 16 && answer.line[made]; made++) {
            MoveList moves;
            legalMovesGenerate(p, &moves);
            Move move = answer.line[made];
            if (std::find(moves.moves, moves.moves + moves.count, move) ==
                moves.moves + moves.count)
                fail(p, "move %d of the reported line, %s, is not legal", made + 1,
                     moveText(move).c_str());
            moveDo(p, move);
        }
        while (made--) moveUndo(p);
    }

    // Mate in one: found whenever there is one (the fifty-move rule aside,
    // which wins over a mate), and claimed only when real. A stopped search
    // may not have seen every move.
    if (answer.scored && !stopped) {
        ReferenceBoard root = referenceFrom(p);
        std::vector<ReferenceChild> children = referenceChildren(root);
        bool mateThere = false;
        for (const auto& c : children) mateThere = mateThere || checkmated(c.board);
        std::string best = moveText(answer.best);
        if (answer.score == MATE) {
            auto at = std::find_if(children.begin(), children.end(),
                                   [&](const ReferenceChild& c) { return c.text == best; });
            if (at == children.end() || !checkmated(at->board))
                fail(p, "the search claims mate in one with %s", best.c_str());
        } else if (mateThere && p->staticMoves < 99) {
            fail(p, "the search misses a mate in one (score %d, move %s)", answer.score,
                 best.c_str());
        }
        if (answer.score == 1 - MATE) {
            for (const auto& c : children) {
                bool mated = false;
                for (const auto& reply : referenceChildren(c.board))
                    if (checkmated(reply.board)) {
                        mated = true;
                        break;
                    }
                if (!mated)
                    fail(p, "the search (depth %d) claims every move is mated, but %s is not",
                         depth, c.text.c_str());
            }
        }
    }

    // The node search and the quiescence search on the position itself leave
    // it as it was, stopped or not.
    int score = 0, quiet = 0;
    bool between = true;  // the position was as before between the two searches
    stopped = runBounded([&] {
        searchStats.iterationDepth.store(depth, std::memory_order_relaxed);
        score = search(p, -MATE, MATE, depth, 0, 1, 1);
        between = stateSame(p, saved);
        quiet = quiescent(p, -MATE, MATE, 0, 0);
    });
    if (!between) fail(saved, "the node search changed the position");
    if (!stateSame(p, saved)) fail(saved, "the quiescence search changed the position");
    if (!stopped && (score < -MATE || score > MATE)) fail(p, "the node search scores %d", score);
    if (!stopped && (quiet < -MATE || quiet > MATE))
        fail(p, "the quiescence search scores %d", quiet);
}

uint64_t splitMix(uint64_t* state) {
    uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

struct BookLine {
    uint64_t key;
    uint16_t move, weight;
};

// The legal move a book word stands for (castling written as the king taking
// its own rook), or 0.
Move bookWordMove(const Position* p, const MoveList& legal, unsigned word) {
    int to = word & 63, from = word >> 6 & 63, promotion = word >> 12 & 7;
    int man = p->board[from];
    if (man == WHITE_KING || man == BLACK_KING) {
        if ((from == E1 && to == H1) || (from == E8 && to == H8)) to = from + 2;
        if ((from == E1 && to == A1) || (from == E8 && to == A8)) to = from - 2;
    }
    for (uint32_t i = 0; i < legal.count; i++) {
        Move m = legal.moves[i];
        if (moveFrom(m) == from && moveTo(m) == to && promotionCode(m) == promotion) return m;
    }
    return 0;
}

unsigned bookWord(Move m) {
    int from = moveFrom(m), to = moveTo(m);
    if (moveType(m) == MOVE_CASTLE) to = to > from ? to + 1 : to - 2;
    return static_cast<unsigned>(to | from << 6 | promotionCode(m) << 12);
}

// A book with entries for the position (some of its legal moves, now and then
// a word that is no move) among entries of other keys, sometimes with a torn
// last entry; the probe must answer one of the position's weighted legal
// moves, and must answer when every weighted entry is a legal move.
void checkBook(Position* p, const MoveList& legal, uint64_t seed) {
    uint64_t state = seed;
    uint64_t key = getBookKey(p);
    std::vector<BookLine> lines;
    int others = static_cast<int>(splitMix(&state) % 7);
    for (int i = 0; i < others; i++) {
        uint64_t r = splitMix(&state);
        // Keys next to the position's as well as anywhere.
        uint64_t k = r & 1 ? key + (r >> 1) % 5 - 2 : r;
        if (k == key) k ^= 0x100;
        lines.push_back({k, static_cast<uint16_t>(splitMix(&state)), 1});
    }
    int own = legal.count ? static_cast<int>(splitMix(&state) % 5) : 0;
    for (int i = 0; i < own; i++) {
        Move m = legal.moves[splitMix(&state) % legal.count];
        lines.push_back(
            {key, static_cast<uint16_t>(bookWord(m)), static_cast<uint16_t>(splitMix(&state) % 4)});
    }
    if (splitMix(&state) % 4 == 0)
        lines.push_back({key, static_cast<uint16_t>(splitMix(&state) & 0x7fff),
                         static_cast<uint16_t>(1 + splitMix(&state) % 3)});
    std::stable_sort(lines.begin(), lines.end(),
                     [](const BookLine& a, const BookLine& b) { return a.key < b.key; });

    std::string bytes;
    for (const auto& line : lines) {
        for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>(line.key >> shift);
        for (uint16_t field : {line.move, line.weight, uint16_t{0}, uint16_t{0}}) {
            bytes += static_cast<char>(field >> 8);
            bytes += static_cast<char>(field);
        }
    }
    bool torn = !bytes.empty() && splitMix(&state) % 4 == 0;
    size_t complete = lines.size();
    if (torn) {
        bytes.resize(bytes.size() - 1 - splitMix(&state) % 15);
        complete--;
    }
    if (ftruncate(bookFd, 0) != 0 ||
        pwrite(bookFd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        fail(nullptr, "cannot write the book");

    std::vector<Move> allowed;
    bool allLegal = true;
    int weight = 0;
    for (size_t i = 0; i < complete; i++) {
        if (lines[i].key != key || lines[i].weight == 0) continue;
        weight += lines[i].weight;
        Move m = bookWordMove(p, legal, lines[i].move);
        if (m)
            allowed.push_back(m);
        else
            allLegal = false;
    }

    stateCopy(saved, p);
    counts.bookProbes++;
    bookOpen(bookPath);
    Move move = bookMove(p);
    bookClose();
    if (!stateSame(p, saved)) fail(saved, "the book probe changed the position");
    if (move && std::find(allowed.begin(), allowed.end(), move) == allowed.end())
        fail(p, "the book answers %s, not a weighted legal move of the position in the file",
             moveText(move).c_str());
    if (!move && weight > 0 && allLegal)
        fail(p, "the book answers nothing though every weighted entry is a legal move");
}

// ---- The whole check of one position ----

// Every position on the way gets the checks of its incremental fields, rules,
// keys and repetitions.
void checkWalked(const Position* p) {
    counts.positions++;
    checkInvariants(p);
    uint64_t key = polyglotKey(p);
    if (getBookKey(p) != key)
        fail(p, "Polyglot key %016llx, square by square %016llx",
             static_cast<unsigned long long>(getBookKey(p)), static_cast<unsigned long long>(key));
    checkRepetition(p);
}

// The position an input reaches gets every check: also its record, its
// evaluation and every move from it. Fills `legal` with its legal moves.
void checkReached(Position* p, int header, MoveList* legal) {
    counts.movesChecked++;
    checkFenRoundTrip(p);
    checkEvaluation(p, header);
    checkMoves(p, legal);
}

// Makes the move the byte picks among the generated ones (tactical first):
// the first legal one from (byte % count) on. Returns it, or 0 when no move
// is legal. The generated moves become the next position's foreign moves.
Move pickMove(Position* p, uint8_t byte) {
    static MoveList lists[2];
    tacticalMovesGenerate(p, &lists[0]);
    quietMovesGenerate(p, &lists[1]);
    foreignMoves.assign(lists[0].moves, lists[0].moves + lists[0].count);
    foreignMoves.insert(foreignMoves.end(), lists[1].moves, lists[1].moves + lists[1].count);
    const size_t n = foreignMoves.size();
    for (size_t k = 0; k < n; k++) {
        Move move = foreignMoves[(byte + k) % n];
        if (moveDo(p, move)) return move;
    }
    return 0;
}

uint64_t inputHash(const uint8_t* data, size_t size) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 0x100000001b3ULL;
    return h;
}

}  // namespace

void coreFuzzStartup(const CoreSettings& chosen, bool verbose) {
    settings = chosen;
    verboseRun = verbose;
    if (settings.sampleEvery == 0) settings.sampleEvery = 1;
    if (!verbose)
        g_log_set_handler(nullptr,
                          static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                      G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
                          dropWarning, nullptr);
    outCaptureBegin();
    engineStart({.bitbases = false, .book = false});
    // A small table: every sampled search starts from an empty one.
    hashCreate(1);
    current = positionNew();
    saved = g_new0(Position, 1);
    scratch = g_new0(Position, 1);
    mirror = g_new0(Position, 1);
    bookFd = memfd_create("korvan-core-book", 0);
    if (bookFd < 0) fail(nullptr, "cannot make the book file");
    snprintf(bookPath, sizeof bookPath, "/proc/self/fd/%d", bookFd);
    outCaptureTake();
}

void coreFuzzInput(const uint8_t* data, size_t size) {
    if (size == 0) return;
    counts.inputs++;
    previousInput.swap(thisInput);
    thisInput.assign(reinterpret_cast<const char*>(data), size);
    CoreInput input = coreInputDecode(data, size);
    inputFen = input.fen;
    played.clear();
    reached.clear();
    foreignMoves.clear();

    // The reader starts from a position with a history, which a refused record
    // must leave as it was.
    positionStartPosition(current);
    moveDo(current, moveMake(MOVE_NORMAL, E2, E4));
    moveDo(current, moveMake(MOVE_NORMAL, E7, E5));
    if (!checkFenRead(current, input.fen.c_str())) {
        outCaptureTake();
        return;
    }

    // The walk: each move byte picks a move, until the bytes or the moves
    // run out (long inputs walk to the fifty-move rule and the end of the
    // history cheaply); the position reached gets every check.
    reached.push_back(signature(current));
    checkWalked(current);
    for (uint8_t byte : input.moves) {
        Move move = pickMove(current, byte);
        if (!move) break;
        played.push_back(moveText(move));
        reached.push_back(signature(current));
        checkWalked(current);
    }
    MoveList legal;
    checkReached(current, input.header, &legal);

    if (verboseRun) {
        fprintf(stderr, "record: %s\nmoves:", inputFen.c_str());
        for (const auto& m : played) fprintf(stderr, " %s", m.c_str());
        fprintf(stderr, "\nlast position: %s\n", testFen(current).c_str());
    }
    uint64_t hash = inputHash(data, size);
    if (hash % settings.sampleEvery == 0) {
        checkSearch(current, legal, input.header);
        if (input.header & CORE_BOOK) checkBook(current, legal, hash);
    }
    outCaptureTake();
}

const CoreCounts& coreFuzzCounts() { return counts; }

void coreFuzzShutdown() {
    outCaptureEnd();
    if (bookFd >= 0) close(bookFd);
    bookFd = -1;
    positionFree(current);
    g_free(saved);
    g_free(scratch);
    g_free(mirror);
    current = saved = scratch = mirror = nullptr;
    engineStop();
}
