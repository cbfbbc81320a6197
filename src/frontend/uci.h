// The UCI front end: the command loop, the engine options, the position
// command, the search reports and the go command.
#pragma once

#include <cstdint>
#include <string_view>

#include "board/position.h"
#include "search/report.h"
#include "search/startsearch.h"

inline constexpr const char* ENGINE_NAME = "Korvan 1.3b RX";
inline constexpr const char* ENGINE_AUTHOR = "Dalen Varsek";

// The current position: what "position" set up and "go" searches.
extern Position* currentPosition;

// Runs the engine: start-up, then the main loop on standard input until "quit"
// or the end of input, then shut-down.
void uciRun();

// The command word of a protocol line (empty for a blank line); *rest receives
// the text after it. The dispatcher reads lines through this.
std::string_view uciCommandWord(const char* line, const char** rest);

// Handles one protocol line (the same dispatcher serves the main loop, the
// fuzzer and the tests). Returns false once the line was "quit" and everything
// is released.
bool uciDispatch(const char* line);

void uciIdentity();
void uciIsReady();
void uciDebug();
// "quit": stops the search, shuts the engine down and ends the main loop.
void uciQuit();

// Engine options.

// The values of the options, as the last "setoption" left them.
struct EngineOptions {
    int ponder;                  // "Ponder": "bestmove" carries a ponder move
    int multiPv;                 // "MultiPV"
    int threads;                 // "Threads"
    int hashMegabytes;           // "Hash"
    int ownBook;                 // "OwnBook"
    char bookFile[256];          // "Book File"
    char bitbasesPath[256];      // "Bitbases Path"
    int bitbasesCacheMegabytes;  // "Bitbases Cache Size"
    char engineAbout[64];        // "UCI_EngineAbout", stored only
};
extern EngineOptions options;

// Sets every option to its default.
void uciOptionsInit();
// "setoption name NAME [value VALUE]": a value the option does not allow is an
// input error and the option keeps its value; an unknown name is answered
// with "info wrong uci option name". A change that touches what a running
// search reads ends that search first.
void uciSetOption(const char* text);

// The position command.
void uciSetPosition(const char* text);

// The protocol's search reports: "info" lines (from the depth thresholds on)
// and "bestmove".
extern const SearchReport uciReport;
inline constexpr int DEPTH_INFO = 5;
inline constexpr int MULTI_PV_INFO = 5;
inline constexpr int CURRENT_MOVE_INFO = 10;

// The go command.
void uciGo(const char* text);
// Reads the limits of a "go" text (keywords anywhere, in any order and case; a
// negative number reads as 0, one too large as the largest value). Returns
// whether the search is to ponder.
bool uciParseGo(const char* text, SearchParameter* parameter);
