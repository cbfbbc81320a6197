// The output funnel: every protocol line the engine writes goes through here.
// A text is written whole under one lock, so lines written by the search
// thread and the main-loop thread never interleave inside a line.
#pragma once

#include <cstddef>
#include <string>

#define KORVAN_PRINTF(f, a) __attribute__((format(printf, f, a)))

// Writes one formatted text whole; flushes standard output when asked.
void outPrintf(bool flush, const char* format, ...) KORVAN_PRINTF(2, 3);

// Flushes what earlier unflushed texts left in the buffer.
void outFlush();

// Builds a multi-piece or multi-line answer that is then written at once.
struct OutBuffer {
    char text[16384];
    size_t length = 0;

    void printf(const char* format, ...) KORVAN_PRINTF(2, 3);
    void write(bool flush);
};

// Fatal error: the message is logged at the error level and the process ends.
[[noreturn]] void fatalError(const char* format, ...) KORVAN_PRINTF(1, 2);

// Input error (a bad character, move text or option value): the message is
// logged as a warning on standard error and the caller abandons the command.
void inputError(const char* format, ...) KORVAN_PRINTF(1, 2);

// Tests: while capturing, output is appended to a string instead of stdout.
void outCaptureBegin();
std::string outCaptureEnd();
// What was captured so far; capturing goes on with an empty text.
std::string outCaptureTake();
