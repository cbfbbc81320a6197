#include "fuzz/commands.h"
#include "moves/picker.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "board/position.h"
#include "moves/movedo.h"

namespace {

using Rng = std::mt19937_64;

size_t pick(Rng& rng, size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; }
bool chance(Rng& rng, int percent) { return static_cast<int>(rng() % 100) < percent; }

template <typename T, size_t N>
const T& pickOf(Rng& rng, const T (&items)[N]) {
    return items[pick(rng, N)];
}

// Positions with something to get wrong: castling, en passant, promotions,
// checks, mates, stalemates, bitbase endings, long games.
const char* const kFens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8",
    "4k3/P7/8/8/8/8/8/4K3 w - - 0 1",
    "4k3/8/8/8/8/8/p7/4K3 b - - 0 1",
    "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
    "6rk/5Npp/8/8/8/8/8/6K1 b - - 0 1",
    "8/8/8/8/8/5k2/8/5K1R w - - 0 1",
    "8/8/4k3/8/8/3NB3/8/4K3 w - - 0 1",
    "8/4k3/8/3PK3/8/8/8/8 w - - 0 1",
    "8/8/8/3k4/8/8/8/3K4 w - - 0 1",
    "8/8/8/8/2k5/8/1q6/K7 w - - 0 1",
    "k7/8/1K6/8/8/8/8/7R w - - 99 120",
    "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
    "rnbqkb1r/pp1p1ppp/5n2/2pPp3/8/8/PPP1PPPP/RNBQKBNR w KQkq c6 0 4",
    "8/8/3k4/8/2pP4/8/8/4K3 b - d3 0 1",
    "4k3/8/8/2Pp4/8/8/8/4K3 w - d6 0 1",
    "2kr3r/ppp2ppp/2n5/2b1p3/4P1q1/2NP1N2/PPP2PPP/R1BQ1RK1 w - - 5 12",
};

const char* const kOptionNames[] = {
    "Ponder",
    "MultiPV",
    "Threads",
    "Hash",
    "OwnBook",
    "Book File",
    "Bitbases Path",
    "Bitbases Cache Size",
    "Clear Hash",
    "UCI_EngineAbout",
    // Cases, blanks and names that are not there.
    "hash",
    "THREADS",
    "multipv",
    "book  file",
    "Bitbases",
    "Bitbases Cache",
    "Book",
    "Clear",
    "UCI_Elo",
    "",
    "Hash Hash",
    "Book File value",
};

const char* const kNumbers[] = {
    "0",
    "1",
    "2",
    "3",
    "4",
    "16",
    "17",
    "20",
    "21",
    "64",
    "128",
    "256",
    "257",
    "4096",
    "4097",
    "-1",
    "-0",
    "+5",
    "2147483647",
    "2147483648",
    "-2147483648",
    "-2147483649",
    "4294967295",
    "4294967296",
    "18446744073709551615",
    "18446744073709551616",
    "99999999999999999999999999999999",
    "1e3",
    "0x10",
    "1.5",
    "12abc",
    "abc",
    "",
};

const char* const kWords[] = {
    "true", "false", "TRUE", "False", "yes", "1", "0", "on", "", "value", "name",
};

const char* const kPaths[] = {
    "",
    "/",
    ".",
    "..",
    "/dev/null",
    "/dev/zero",
    "/tmp",
    "/nonexistent/book.bin",
    "performance.bin",
    "./egbb",
    "egbb",
    "/proc/self/maps",
    " spaced path ",
    KORVAN_BUILD_DIR "/performance.bin",
    KORVAN_BUILD_DIR "/egbb",
    KORVAN_BUILD_DIR,
    "/usr/share/games/gnuchess/book.bin",
};

const char* const kGoWords[] = {
    "depth",     "nodes",    "movetime", "wtime", "btime",       "winc",  "binc",
    "movestogo", "infinite", "ponder",   "mate",  "searchmoves", "depth", "nodes",
};

const char* const kSimple[] = {
    "isready",
    "uci",
    "ucinewgame",
    "stop",
    "ponderhit",
    "debug",
    "quit",
    "debug on",
    "ISREADY",
    "Stop",
    "register later",
    "",
    "   ",
    "\t",
    "position",
    "go",
    "setoption",
    "setoption name",
    "setoption value",
    "position fen",
    "position startpos moves",
    "position moves e2e4",
};

// The FEN record of a position (the counters are made up).
std::string writeFen(const Position* p) {
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int piece = p->board[squareMake(file, rank)];
            if (piece == EMPTY) {
                empty++;
                continue;
            }
            if (empty) fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += PIECE_CHARS[piece];
        }
        if (empty) fen += static_cast<char>('0' + empty);
        if (rank) fen += '/';
    }
    fen += p->player == WHITE ? " w " : " b ";
    std::string castling;
    if (p->castling & CASTLE_WHITE_KING) castling += 'K';
    if (p->castling & CASTLE_WHITE_QUEEN) castling += 'Q';
    if (p->castling & CASTLE_BLACK_KING) castling += 'k';
    if (p->castling & CASTLE_BLACK_QUEEN) castling += 'q';
    fen += castling.empty() ? "-" : castling;
    fen += ' ';
    if (p->enPassant) {
        char name[3];
        squareToString(p->enPassant, name);
        fen += name;
    } else {
        fen += '-';
    }
    fen += ' ' + std::to_string(p->staticMoves) + " 1";
    return fen;
}

// Plays up to `plies` random legal moves, appending their texts.
void playRandom(Rng& rng, Position* p, int plies, std::vector<std::string>* moves) {
    MoveList list;
    char text[MOVE_TEXT_SIZE];
    for (int i = 0; i < plies; i++) {
        legalMovesGenerate(p, &list);
        if (list.count == 0) return;
        Move move = list.moves[pick(rng, list.count)];
        moveToString(move, text);
        moves->push_back(text);
        moveDo(p, move);
        positionCompactHistory(p);
    }
}

std::string squareText(Rng& rng) {
    std::string s;
    s += static_cast<char>('a' + pick(rng, 8));
    s += static_cast<char>('1' + pick(rng, 8));
    return s;
}

// A move text as interfaces and users get it wrong.
std::string badMove(Rng& rng, const std::string& good) {
    switch (pick(rng, 12)) {
        case 0:
            return squareText(rng) + squareText(rng);
        case 1:
            return good.substr(0, 4);  // promotion letter lost
        case 2:
            return good.substr(0, 4) + pickOf(rng, {"k", "x", "p", "Q", "qq"});
        case 3:
            return pickOf(rng, {"O-O", "O-O-O", "0-0", "o-o", "e1h1", "e8a8", "e1g1"});
        case 4:
            return pickOf(rng, {"null", "0000", "(none)", "--", "e2", "e2e", "e2e4e5"});
        case 5: {
            std::string upper = good;
            for (char& c : upper) c = static_cast<char>(g_ascii_toupper(c));
            return upper;
        }
        case 6:
            return std::string(1 + pick(rng, 300), 'e');
        case 7:
            return good + good;
        case 8:
            return "\xff\xfe" + good;
        case 9:
            return good.substr(0, 2) + "-" + good.substr(2);
        case 10:
            return "i9j0";
        default:
            return good + "\r";
    }
}

// The position command: startpos or a FEN record (often bent), then moves
// (sometimes thousands, sometimes with bad ones among them).
std::string genPosition(Rng& rng);

// The board of a FEN placement as 8 rows of 8 characters ('.' empty).
std::vector<std::string> placementRows(const std::string& placement) {
    std::vector<std::string> rows;
    std::string row;
    for (char c : placement) {
        if (c == '/') {
            rows.push_back(row);
            row.clear();
        } else if (c >= '1' && c <= '9') {
            row.append(static_cast<size_t>(c - '0'), '.');
        } else {
            row += c;
        }
    }
    rows.push_back(row);
    return rows;
}

std::string placementText(const std::vector<std::string>& rows) {
    std::string text;
    for (size_t r = 0; r < rows.size(); r++) {
        int empty = 0;
        for (char c : rows[r]) {
            if (c == '.') {
                empty++;
                continue;
            }
            if (empty) text += static_cast<char>('0' + std::min(empty, 9));
            empty = 0;
            text += c;
        }
        if (empty) text += static_cast<char>('0' + std::min(empty, 9));
        if (r + 1 < rows.size()) text += '/';
    }
    return text;
}

std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        fields.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

// Bends a FEN record the ways real records go wrong.
std::string bendFen(Rng& rng, const std::string& fen) {
    std::vector<std::string> fields = splitFields(fen);
    std::vector<std::string> rows = placementRows(fields[0]);
    int bends = 1 + static_cast<int>(pick(rng, 2));
    for (int b = 0; b < bends; b++) {
        if (rows.empty()) rows.emplace_back();  // the first bend erased the only row
        size_t r = pick(rng, rows.size());
        size_t f = pick(rng, 8);
        if (rows[r].size() < 8) rows[r].resize(8, '.');
        switch (pick(rng, 16)) {
            case 0:
                rows.push_back(pickOf(rng, {"8", "pppppppp", "........", "k7"}));
                break;
            case 1:
                rows.erase(rows.begin() + static_cast<long>(r));
                break;
            case 2:
                rows[r] += pickOf(rng, {".", "p", "N", "..", "K"});
                break;  // 9 squares
            case 3:
                rows[r].pop_back();
                break;  // 7 squares
            case 4:     // a king gone
                for (auto& row : rows)
                    std::replace(row.begin(), row.end(), chance(rng, 50) ? 'K' : 'k', '.');
                break;
            case 5:
                rows[r][f] = chance(rng, 50) ? 'K' : 'k';
                break;  // a second king
            case 6:     // a pawn on a back rank
                rows[chance(rng, 50) ? 0 : rows.size() - 1][f] = chance(rng, 50) ? 'P' : 'p';
                break;
            case 7:
                rows[r][f] = pickOf(rng, {'X', 'z', '0', '9', ' ', '\t', '?'});
                break;
            case 8:
                rows[r][f] = "PNBRQKpnbrqk"[pick(rng, 12)];
                break;
            case 9:
                if (fields.size() > 3)
                    fields[3] = pickOf(rng, {"e3", "e6", "a3", "h6", "d4", "e9", "i3", "--", "e",
                                             "33", "E6", "a0", "d3", "c6", "f6", "-"});
                break;
            case 10:
                if (fields.size() > 2)
                    fields[2] = pickOf(
                        rng, {"KQkq", "-", "KQkqKQkq", "XYZ", "kq", "Kk", "K-", "QqKk", "a"});
                break;
            case 11:
                if (fields.size() > 1)
                    fields[1] = pickOf(rng, {"w", "b", "W", "B", "x", "white", "-", "bw"});
                break;
            case 12:
                if (fields.size() > 4) fields[4] = pickOf(rng, kNumbers);
                if (fields.size() > 5) fields[5] = pickOf(rng, kNumbers);
                break;
            case 13:
                if (fields.size() > 1)
                    fields.erase(fields.begin() + 1 +
                                 static_cast<long>(pick(rng, fields.size() - 1)));
                break;
            case 14:
                fields.push_back(pickOf(rng, {"0", "1", "moves", "extra", "-"}));
                break;
            default:
                fields.resize(1 + pick(rng, fields.size()));
                break;  // fields cut off
        }
    }
    fields[0] = placementText(rows);
    std::string text;
    const char* separator = pickOf(rng, {" ", " ", " ", "\t", "  "});
    for (size_t i = 0; i < fields.size(); i++) text += (i ? separator : "") + fields[i];
    return text;
}

std::string genPosition(Rng& rng) {
    Position* p = positionNew();
    std::string line = "position ";
    if (chance(rng, 35)) {
        line += pickOf(rng, {"startpos", "startpos", "STARTPOS", "startpos "});
    } else {
        std::string fen = pickOf(rng, kFens);
        if (!positionSetFen(p, fen.c_str())) positionStartPosition(p);
        if (chance(rng, 40)) {
            // A record written after a random opening.
            std::vector<std::string> ignored;
            playRandom(rng, p, static_cast<int>(pick(rng, 60)), &ignored);
            fen = writeFen(p);
            if (!positionSetFen(p, fen.c_str())) positionStartPosition(p);
        }
        if (chance(rng, 40)) {
            fen = bendFen(rng, fen);
            if (!positionSetFen(p, fen.c_str())) positionStartPosition(p);
        }
        line += pickOf(rng, {"fen ", "fen ", "FEN ", "fen  "}) + fen;
    }
    if (chance(rng, 70)) {
        line += pickOf(rng, {" moves", " moves", " MOVES", " moves moves", " move"});
        int length;
        switch (pick(rng, 8)) {
            case 0:
                length = 1500 + static_cast<int>(pick(rng, 800));
                break;
            case 1:
                length = 100 + static_cast<int>(pick(rng, 400));
                break;
            default:
                length = static_cast<int>(pick(rng, 40));
                break;
        }
        std::vector<std::string> moves;
        playRandom(rng, p, length, &moves);
        if (chance(rng, 40) && !moves.empty()) {
            size_t at = pick(rng, moves.size());
            moves[at] = badMove(rng, moves[at]);
        }
        for (const auto& move : moves) line += ' ' + move;
    }
    positionFree(p);
    return line;
}

std::string genSetoption(Rng& rng) {
    std::string name = pickOf(rng, kOptionNames);
    std::string line = pickOf(rng, {"setoption name ", "setoption name ", "SETOPTION NAME ",
                                    "setoption  name  ", "setoption "}) +
                       name;
    if (chance(rng, 10)) return line;  // no value
    line += pickOf(rng, {" value ", " value ", " VALUE ", " value  ", " value value "});
    std::string value;
    switch (pick(rng, 5)) {
        case 0:
            value = pickOf(rng, kNumbers);
            break;
        case 1:
            value = pickOf(rng, kWords);
            break;
        case 2:
            value = pickOf(rng, kPaths);
            break;
        case 3:
            value = std::string(1 + pick(rng, 5000), "/ax"[pick(rng, 3)]);
            break;
        default:
            value =
                name == "Ponder" || name == "OwnBook" ? pickOf(rng, kWords)
                : name.find("Path") != std::string::npos || name.find("File") != std::string::npos
                    ? pickOf(rng, kPaths)
                    : pickOf(rng, kNumbers);
            break;
    }
    return line + value;
}

std::string genGo(Rng& rng) {
    std::string line = chance(rng, 90) ? "go" : "GO";
    int words = static_cast<int>(pick(rng, 6));
    for (int i = 0; i < words; i++) {
        std::string word = pickOf(rng, kGoWords);
        line += ' ' + word;
        if (word == "infinite" || word == "ponder" || (word == "mate" && chance(rng, 50))) continue;
        if (word == "searchmoves") {
            line += pickOf(rng, {" e2e4 d2d4", " e7e8q", " a1a1"});
            continue;
        }
        line += ' ';
        line += pickOf(rng, kNumbers);
    }
    return line;
}

std::string genCommand(Rng& rng) {
    switch (pick(rng, 10)) {
        case 0:
        case 1:
        case 2:
            return genPosition(rng);
        case 3:
        case 4:
            return genSetoption(rng);
        case 5:
        case 6:
        case 7:
            return genGo(rng);
        default:
            return pickOf(rng, kSimple);
    }
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Changes one number or word of a command in place, keeping the rest.
std::string bendLine(Rng& rng, const std::string& line, ByteMutator byteMutator) {
    std::string lower = line;
    for (char& c : lower) c = static_cast<char>(g_ascii_tolower(c));
    if (lower.rfind("position fen ", 0) == 0) {
        size_t moves = line.find(" moves");
        std::string fen =
            line.substr(13, moves == std::string::npos ? std::string::npos : moves - 13);
        std::string tail = moves == std::string::npos ? "" : line.substr(moves);
        return "position fen " + bendFen(rng, fen) + tail;
    }
    if (lower.find(" moves ") != std::string::npos && chance(rng, 70)) {
        // Replace, drop or repeat one move of the list.
        std::vector<std::string> words = splitFields(line);
        size_t first = 0;
        while (first < words.size() && words[first] != "moves") first++;
        if (first + 1 < words.size()) {
            size_t at = first + 1 + pick(rng, words.size() - first - 1);
            switch (pick(rng, 3)) {
                case 0:
                    words[at] = badMove(rng, words[at]);
                    break;
                case 1:
                    words.erase(words.begin() + static_cast<long>(at));
                    break;
                default:
                    words.insert(words.begin() + static_cast<long>(at), words[at]);
                    break;
            }
            std::string text;
            for (size_t i = 0; i < words.size(); i++) text += (i ? " " : "") + words[i];
            return text;
        }
    }
    // More limits after those there are ("go" or "GO" dropped from the new ones).
    if (lower.rfind("go", 0) == 0 && chance(rng, 70)) return line + genGo(rng).substr(2);
    if (lower.rfind("setoption", 0) == 0 && chance(rng, 70)) {
        size_t value = lower.find(" value ");
        std::string head = value == std::string::npos ? line : line.substr(0, value);
        return head + " value " + pickOf(rng, kNumbers);
    }
    std::string bytes = line;
    size_t maxSize = bytes.size() + 64;
    bytes.resize(maxSize);
    size_t size = byteMutator(reinterpret_cast<uint8_t*>(bytes.data()), line.size(), maxSize);
    bytes.resize(size);
    return bytes;
}

}  // namespace

std::string fuzzGenerateCommand(uint64_t seed) {
    Rng rng(seed);
    return genCommand(rng);
}

std::string fuzzMutateSession(const std::string& session, uint64_t seed, size_t maxSize,
                              ByteMutator byteMutator) {
    Rng rng(seed);
    std::vector<std::string> lines = splitLines(session);
    int mutations = 1 + static_cast<int>(pick(rng, 3));
    for (int m = 0; m < mutations; m++) {
        size_t at = pick(rng, lines.size() + 1);
        switch (pick(rng, 10)) {
            case 0:
            case 1:
            case 2:
                lines.insert(lines.begin() + static_cast<long>(at), genCommand(rng));
                break;
            case 3:
                if (at < lines.size()) lines[at] = genCommand(rng);
                break;
            case 4:
            case 5:
            case 6:
                if (at < lines.size()) lines[at] = bendLine(rng, lines[at], byteMutator);
                break;
            case 7:
                if (at < lines.size()) lines.erase(lines.begin() + static_cast<long>(at));
                break;
            case 8:
                if (at < lines.size())
                    lines.insert(lines.begin() + static_cast<long>(at), lines[at]);
                break;
            default:
                if (lines.size() > 1)
                    std::swap(lines[pick(rng, lines.size())], lines[pick(rng, lines.size())]);
                break;
        }
    }
    std::string text;
    for (const auto& line : lines) {
        if (text.size() + line.size() + 1 > maxSize) break;
        text += line;
        text += '\n';
    }
    return text;
}
