// Invariant checks for debug and sanitizer builds: there a broken invariant
// ends the process with a fatal error naming it; Release builds compile the
// checks away.
#pragma once

#if !defined(NDEBUG) || defined(KORVAN_SANITIZED)
#define KORVAN_DEBUG 1
[[noreturn]] void debugFail(const char* condition, const char* file, int line);
#define KORVAN_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : debugFail(#condition, __FILE__, __LINE__))
#else
#define KORVAN_DEBUG 0
#define KORVAN_ASSERT(condition) static_cast<void>(0)
#endif
