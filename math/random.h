// A small portable random generator with the classic 0..32767 range.
#pragma once

// Largest value RandomInt returns.
const int kRandomMax = 32767;

// The C standard's example generator: every run starts from the same state, so a
// sequence of draws is the same on every platform and every start of the program.
int RandomInt();
void SeedRandom(unsigned int seed);
