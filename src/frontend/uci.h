// The UCI front end: start-up, the command loop, the engine options, the
// position command, the search reports and the go command.
#pragma once

#include <glib.h>

#include <cstdint>
#include <string_view>

#include "board/position.h"
#include "moves/movegenerator.h"
#include "search/startsearch.h"

inline constexpr const char* ENGINE_NAME = "Korvan 1.3b RX";
inline constexpr const char* ENGINE_AUTHOR = "Dalen Varsek";

extern GRand* mrand;
extern GTimer* timer;
extern Position* position;               // the current position
extern SearchParameter searchParameter;  // the limits of the last "go"
extern int ponder;                       // the "Ponder" option

// Start-up: builds every table and resource, then runs the main loop until
// "quit" or the end of input.
void uciRun();
// The start-up sequence without the input watch and the main loop: what a
// program needs that feeds the dispatcher lines of its own (the fuzzer, the
// corpus replay). uciQuit releases it again.
void uciStartup();

// The command word of a protocol line (empty for a blank line); *rest receives
// the text after it. The dispatcher reads lines through this.
std::string_view uciCommandWord(const char* line, const char** rest);

// Handles one protocol line (the same dispatcher serves the main loop and the
// tests). Returns false once the line was "quit" and everything is released.
bool uciDispatch(const char* line);

void uciIdentity();
void uciIsReady();
void uciQuit();
void uciDebug();
// Seconds since the last "go" (since start-up before the first).
double uciGetTime();

// Engine options.
enum : int {
    OPTION_SPIN = 0,
    OPTION_STRING = 1,
    OPTION_BUTTON = 2,
    OPTION_CHECK = 3,
};

inline constexpr int OPTION_TEXT_SIZE = 256;
inline constexpr int ABOUT_TEXT_SIZE = 64;

struct UciOption {
    int32_t value;                // default of a spin or check option
    char text[OPTION_TEXT_SIZE];  // default of a string option
    int32_t min;
    int32_t max;
    char name[OPTION_TEXT_SIZE];
    void* target;  // the bound int or character buffer; none for a button
    int32_t type;
};

extern char uciAbout[ABOUT_TEXT_SIZE];

void uciOptionsInit();
void uciOptionsFree();
void uciAddSpinOption(const char* name, int min, int max, int* target);
void uciAddCheckOption(const char* name, int defaultValue, int* target);
void uciAddStringOption(const char* name, const char* defaultText, char* target, int size);
void uciAddButtonOption(const char* name);
void uciSetOption(const char* text);

// The position command.
void uciSetPosition(const char* text);

// Search reports (printed only from the depth thresholds on).
inline constexpr int DepthInfo = 5;
inline constexpr int MultiPVInfo = 5;
inline constexpr int CurrentMoveInfo = 10;

void uciBeginDepthInfo(int depth);
void uciCurrentMove(int depth, int index, const RootMoveList* list);
void uciMultiPv(const Position* position, int depth, int lines, const RootMoveList* list);
void uciEndDepthInfo(int depth, uint64_t nodes);
void uciBestMove(Move best, Move ponderMove);

// The go command.
void uciGo(const char* text);
// Reads the limits of a "go" text (keywords anywhere, in any order and case; a
// negative number reads as 0, one too large as the largest value). Returns
// whether the search is to ponder.
bool uciParseGo(const char* text, SearchParameter* parameter);
