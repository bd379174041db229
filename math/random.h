// A small portable random generator with the classic 0..32767 range.
#pragma once

// Largest value Next returns.
const int kRandomMax = 32767;

// The C standard's example generator. Every sequence starts from the same state, so its
// draws are the same on every platform and at every start of the program.
class RandomSequence {
public:
    int Next();

private:
    unsigned long long state = 1;
};
