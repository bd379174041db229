// The analytic flow of the benchmark volume: smooth fields over the grid's cube [0, n]^3.
#pragma once

#include "volume/types.h"

// Density, energy and momentum speed each follow a triply periodic pattern of about 20 units
// wavelength, so that a level set in the middle of a field's range meanders through the
// whole cube and cuts a large share of its tetrahedra. The momentum winds around the axis
// parallel to x through the cube's centre, at a fixed pitch, and moves about 1.5 units per
// unit of time: a path line crosses cells on every step and leaves through x = n after some
// 170 steps.
class FlowField {
public:
    explicit FlowField(int n);

    // The flow values at `point`, with MomentumMag the magnitude of Momentum.
    Vertex At(const double* point) const;

private:
    double centre;  // the swirl axis is y = z = centre
};
