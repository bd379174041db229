#include "volume/kavreader.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

KavReader::KavReader(FILE* f, const char* n) : file(f), name(n), size(0), offset(0) {
    long start = ftell(file);
    if (start >= 0 && fseek(file, 0, SEEK_END) == 0) {
        long end = ftell(file);
        if (end >= start) size = static_cast<uint64_t>(end - start);
        fseek(file, start, SEEK_SET);
    }
}

bool KavReader::Read(void* dst, uint64_t bytes, const char* what) {
    if (bytes > Remaining()) {
        return Fail("the file ends inside %s (%llu bytes needed at offset %llu, %llu left)", what,
                    (unsigned long long)bytes, (unsigned long long)offset,
                    (unsigned long long)Remaining());
    }
    size_t got = fread(dst, 1, static_cast<size_t>(bytes), file);
    offset += got;
    if (got != bytes)
        return Fail("read error inside %s at offset %llu", what, (unsigned long long)offset);
    return true;
}

bool KavReader::Holds(uint64_t count, uint64_t recordSize) const {
    return recordSize == 0 || count <= Remaining() / recordSize;
}

bool KavReader::CheckMagic() {
    char magic[4];
    if (!Read(magic, sizeof magic, "the magic number")) return false;
    if (memcmp(magic, "SKAV", 4) == 0) return true;
    printf("File is not in valid SKAV format!\n");
    fflush(stdout);
    char line[256];
    if (fgets(line, sizeof line, stdin) == nullptr) clearerr(stdin);
    exit(-1);
}

bool KavReader::Fail(const char* format, ...) {
    fflush(stdout);
    fprintf(stderr, "ERROR: \"%s\": ", name);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fprintf(stderr, "; nothing loaded from it.\n");
    return false;
}
