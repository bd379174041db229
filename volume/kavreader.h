// Bounds-checked reading of the binary ".kav" data files.
#pragma once

#include <cstdint>
#include <cstdio>

// Wraps an open file with its measured size, so that every count read from it can be
// checked against the bytes actually left before it sizes an allocation.
class KavReader {
public:
    KavReader(FILE* file, const char* name);

    // Reads exactly `size` bytes; on a short read reports "the file ends inside <what>".
    bool Read(void* dst, uint64_t size, const char* what);
    // True when `count` records of `recordSize` bytes fit in what is left of the file.
    bool Holds(uint64_t count, uint64_t recordSize) const;
    uint64_t Remaining() const { return size - offset; }
    uint64_t Offset() const { return offset; }

    // Checks the four-byte "SKAV" magic. A wrong magic ends the process with status -1 after
    // one line of console input; a file too short to hold it is reported and yields false.
    bool CheckMagic();

    // Prints one "ERROR:" line naming the file, then returns false for the caller to pass on.
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    FILE* file;
    const char* name;
    uint64_t size;
    uint64_t offset;
};
