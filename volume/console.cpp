#include "volume/console.h"

#include <cstdarg>
#include <cstdio>

void Console::Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (!text) {
        vprintf(format, args);
        va_end(args);
        return;
    }
    va_list again;
    va_copy(again, args);
    char small[256];
    int n = vsnprintf(small, sizeof small, format, args);
    if (n >= 0 && (size_t)n < sizeof small) {
        text->append(small, (size_t)n);
    } else if (n > 0) {
        size_t at = text->size();
        text->resize(at + (size_t)n + 1);
        vsnprintf(&(*text)[at], (size_t)n + 1, format, again);
        text->resize(at + (size_t)n);
    }
    va_end(again);
    va_end(args);
}

void Console::Write(const std::string& written) {
    if (written.empty()) return;
    if (text) {
        text->append(written);
    } else {
        fwrite(written.data(), 1, written.size(), stdout);
    }
}

void Console::Flush() {
    if (!text) fflush(stdout);
}
