#include "math/random.h"

int RandomSequence::Next() {
    state = (state * 1103515245ULL + 12345ULL) & 0xFFFFFFFFULL;
    return static_cast<int>((state / 65536) % 32768);
}
