// Path lines traced over several processes, each holding some of the blocks: a line
// travels from process to process with its integration and its lookup's caches, and each
// visit leaves a piece of the line behind. Put together in the order of visits, the pieces
// are the line and the text that one process would trace and print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/sharelocator.h"

// A line on its way between processes; plain data.
struct Traveller {
    uint32_t line;
    uint32_t visit;  // the visits so far
    LookupState lookup;
    LineTracer::State tracer;
    Vector position;  // its last point
};

// What one visit added to a line.
struct Piece {
    uint32_t line = 0;
    uint32_t visit = 0;
    bool ended = false;  // the line ended in this visit
    std::string text;
    std::vector<Particle> points;
};

// Line number `line` at its seed, before its first visit.
Traveller StartTraveller(uint32_t line, const Seed& seed);
// Traces the line as far as the blocks of `locator`'s process allow, recording the visit in
// `piece`: the process to go on in, or -1 once the line has ended.
int TravelLine(Traveller* t, ShareLocator* locator, Piece* piece);
