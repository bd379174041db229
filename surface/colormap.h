// The blue-to-red colour map shared by the city surfaces.
#pragma once

// Entries of the one-dimensional colour map, four bytes (R, G, B, A) each.
const int kColorMapEntries = 4096;

// Fills `map` (kColorMapEntries * 4 bytes) with four 1024-entry ramps:
// blue to cyan, cyan to green, green to yellow, yellow to red.
void BuildColorMap(unsigned char* map);
