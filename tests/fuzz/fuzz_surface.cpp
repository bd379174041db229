// Fuzz target of the surface reader: any bytes as a "surface-%i.kav" file, then the bounds
// that the scene asks every loaded model for.
#include <cstdint>
#include <cstdio>
#include <string>

#include "surface/displaylist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // A wrong magic refuses the whole file at once: every input long enough to hold one gets
    // the right magic, so that the campaign explores what follows it.
    if (size >= 4) bytes.replace(0, 4, "SKAV");
    FILE* file = fmemopen(&bytes[0], bytes.size(), "rb");
    if (!file) return 0;
    DisplayListObject surface;
    surface.LoadStream(file, "surface-1.kav");
    fclose(file);

    double bounds[6] = {9e10, -9e10, 9e10, -9e10, 9e10, -9e10};
    surface.StretchBounds(bounds);
    return 0;
}
