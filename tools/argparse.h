// Small helpers for the command lines of the tools: whole numbers within bounds, and the one
// way a parser reports what was wrong.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <string>

// True when all of `text` is a decimal integer in [lo, hi], stored in *value.
inline bool ParseInt(const char* text, int lo, int hi, int* value) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
    *value = (int)v;
    return true;
}

// Puts `why` in *error and returns false, for `return Fail(error, "...")`.
inline bool Fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}
