// Writing a batch result as VTK PolyData (.vtp): isosurface triangles with a per-triangle
// "Normal" array, or path lines as polylines. Needs VTK; without it every write fails.
#pragma once

#include <string>
#include <vector>

#include "volume/pathline.h"
#include "volume/trianglestore.h"

// Writes the triangles in the surface's list order (newest first) to `path`, through a
// temporary name renamed at the end; false with a reason in `error` on failure.
bool WriteTrianglesVtp(const TriangleStore& triangles, const std::string& path, std::string* error);
// Writes one polyline per path line, in order; a line of a single point (its seed was not
// found) is a vertex instead, as VTK's writer takes no one-point polyline.
bool WriteLinesVtp(const std::vector<PathLine>& lines, const std::string& path, std::string* error);
