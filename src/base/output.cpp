#include "base/output.h"

#include "base/debug.h"

#include <glib.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex outMutex;
std::string* capture = nullptr;

void outWrite(const char* text, size_t length, bool flush) {
    std::lock_guard<std::mutex> lock(outMutex);
    if (capture) {
        capture->append(text, length);
        return;
    }
    fwrite(text, 1, length, stdout);
    if (flush) fflush(stdout);
}

// Formats into the buffer at the given length; returns the new length, never
// past the end of the buffer (a text that does not fit is cut short).
size_t formatInto(char* buffer, size_t size, size_t length, const char* format, va_list args) {
    if (length + 1 >= size) return length;
    int n = vsnprintf(buffer + length, size - length, format, args);
    if (n < 0) return length;
    size_t end = length + static_cast<size_t>(n);
    return end < size ? end : size - 1;
}

}  // namespace

void outPrintf(bool flush, const char* format, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof buffer) {
        outWrite(buffer, static_cast<size_t>(n), flush);
        return;
    }
    // A text longer than the buffer (an echoed over-long word) is written whole.
    char* large = static_cast<char*>(g_malloc(static_cast<size_t>(n) + 1));
    va_start(args, format);
    vsnprintf(large, static_cast<size_t>(n) + 1, format, args);
    va_end(args);
    outWrite(large, static_cast<size_t>(n), flush);
    g_free(large);
}

void outFlush() { outWrite("", 0, true); }

void OutBuffer::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    length = formatInto(text, sizeof text, length, format, args);
    va_end(args);
}

void OutBuffer::write(bool flush) {
    outWrite(text, length, flush);
    length = 0;
}

void outCaptureBegin() {
    std::lock_guard<std::mutex> lock(outMutex);
    delete capture;
    capture = new std::string;
}

std::string outCaptureEnd() {
    std::lock_guard<std::mutex> lock(outMutex);
    std::string result = capture ? std::move(*capture) : std::string();
    delete capture;
    capture = nullptr;
    return result;
}

std::string outCaptureTake() {
    std::lock_guard<std::mutex> lock(outMutex);
    if (!capture) return std::string();
    std::string result = std::move(*capture);
    capture->clear();
    return result;
}

void fatalError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_logv(nullptr, G_LOG_LEVEL_ERROR, format, args);
    va_end(args);
    abort();  // not reached: error-level messages end the process
}

void inputError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_logv(nullptr, G_LOG_LEVEL_WARNING, format, args);
    va_end(args);
}

#if KORVAN_DEBUG
void debugFail(const char* condition, const char* file, int line) {
    fatalError("Invariant broken: %s (%s:%d)\n", condition, file, line);
}
#endif
