#include "math/random.h"

namespace {
unsigned long long state = 1;
}

int RandomInt() {
    state = (state * 1103515245ULL + 12345ULL) & 0xFFFFFFFFULL;
    return static_cast<int>((state / 65536) % 32768);
}

void SeedRandom(unsigned int seed) {
    state = seed;
}
