// Where a piece of work writes its console lines: standard output, or a text that the caller
// prints later, so that work done on several threads can still be printed in order.
#pragma once

#include <string>

class Console {
public:
    // Writes to standard output.
    Console() = default;
    // Appends to `*text` instead.
    explicit Console(std::string* text) : text(text) {}

    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes `text` as it is.
    void Write(const std::string& text);
    // Pushes what was printed to standard output out at once (for lines that overwrite
    // themselves and end without a newline).
    void Flush();

private:
    std::string* text = nullptr;
};
