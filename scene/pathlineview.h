// The path line element: draws a generator's lines as white line strips and, when asked,
// its source as a translucent red wire sphere of the seeding radius.
#pragma once

#include "scene/visual.h"
#include "volume/pathlinestarter.h"

class PathLineView : public VisualObject {
public:
    explicit PathLineView(const PathLineGenerator& lines) : generator(lines) {}

    // Leaves lighting and 1D texturing enabled, whatever their state was before.
    void Render() override;

private:
    const PathLineGenerator& generator;
};
