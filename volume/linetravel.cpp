#include "volume/linetravel.h"

#include <cstring>

Traveller StartTraveller(uint32_t line, const Seed& seed) {
    Traveller t{};
    t.line = line;
    for (int a = 0; a < 3; ++a) t.position[a] = t.tracer.query[a] = seed[a];
    return t;
}

int TravelLine(Traveller* t, ShareLocator* locator, Piece* piece) {
    piece->line = t->line;
    piece->visit = t->visit;
    Console console(&piece->text);
    if (t->visit == 0) console.Print("Generating pathline %i\n", (int)t->line);
    PathLine segment;
    segment.SetPoints({Particle{{t->position[0], t->position[1], t->position[2]}}});
    LineTracer tracer;
    tracer.Resume(&segment, t->tracer, console);
    locator->SetConsole(console);
    int next = -1;
    for (;;) {
        Vertex current;
        int part = -1;
        const ShareLocator::Outcome outcome =
            locator->Lookup(tracer.Query(), &t->lookup, &current, &part);
        if (outcome == ShareLocator::kElsewhere) {
            next = part;
            break;
        }
        if (!tracer.Step(outcome == ShareLocator::kFound, current)) break;
    }
    const std::vector<Particle>& points = segment.Points();
    // The first point was the last of the visit before, apart from the seed.
    piece->points.assign(points.begin() + (t->visit == 0 ? 0 : 1), points.end());
    piece->ended = next < 0;
    if (next >= 0) {
        t->tracer = tracer.GetState();
        memcpy(t->position, points.back().position, sizeof t->position);
        ++t->visit;
    }
    return next;
}
