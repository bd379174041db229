#include "tools/kavconvert/patches.h"

#include <fnmatch.h>
#include <vtkCellType.h>

#include <algorithm>

#include "tools/kavconvert/pointkey.h"
#include "tools/kavconvert/vertices.h"

namespace kav {

namespace {

const char* const kOptionNames[kSurfaceCount] = {"--walls", "--ceiling", "--buildings", "--floor"};

bool IsFace(int type) {
    return type == VTK_TRIANGLE || type == VTK_QUAD || type == VTK_POLYGON || type == VTK_PIXEL;
}

std::string PatchList(const std::vector<Patch>& patches) {
    if (patches.empty()) return "the input has no named patches";
    std::string list = "its patches: ";
    for (size_t i = 0; i < patches.size(); ++i) list += (i ? ", " : "") + patches[i].name;
    return list;
}

// A patch face's corners in the grid's numbers, repeats next to each other taken once;
// false when a corner is no point of the grid.
bool FaceCorners(vtkPolyData* poly, vtkIdType cell,
                 const std::unordered_map<PointKey, uint32_t, PointKeyHash>& where,
                 std::vector<uint32_t>* corners) {
    vtkIdType n;
    const vtkIdType* ids;
    poly->GetCellPoints(cell, n, ids);
    static const int kPixelOrder[4] = {0, 1, 3, 2};
    bool pixel = poly->GetCellType(cell) == VTK_PIXEL && n == 4;
    corners->clear();
    for (vtkIdType k = 0; k < n; ++k) {
        vtkIdType id = ids[pixel ? kPixelOrder[k] : k];
        if (id < 0 || id >= poly->GetNumberOfPoints()) return false;
        auto found = where.find(KeyOf(poly->GetPoint(id)));
        if (found == where.end() || found->second == kUnusedPoint) return false;
        if (corners->empty() || corners->back() != found->second) corners->push_back(found->second);
    }
    while (corners->size() > 1 && corners->back() == corners->front()) corners->pop_back();
    return corners->size() >= 3;
}

}  // namespace

std::vector<int> AssignRoles(const std::vector<Patch>& patches, const Options& o) {
    std::vector<int> roles(patches.size(), kNoRole);
    for (int r = 0; r < kSurfaceCount; ++r) {
        for (const std::string& pattern : o.patterns[r]) {
            bool matched = false;
            for (size_t i = 0; i < patches.size(); ++i) {
                if (fnmatch(pattern.c_str(), patches[i].name.c_str(), 0) != 0) continue;
                matched = true;
                if (roles[i] != kNoRole && roles[i] != r) {
                    throw ConvertError("the patch '" + patches[i].name + "' is named by both " +
                                       kOptionNames[roles[i]] + " and " + kOptionNames[r]);
                }
                roles[i] = r;
            }
            if (!matched) {
                throw ConvertError(std::string(kOptionNames[r]) + " '" + pattern +
                                   "' matches no patch (" + PatchList(patches) + ")");
            }
        }
    }
    return roles;
}

uint64_t CountFaces(const Patch& patch) {
    uint64_t n = 0;
    for (vtkIdType c = 0; c < patch.faces->GetNumberOfCells(); ++c)
        n += IsFace(patch.faces->GetCellType(c));
    return n;
}

void PrintPatches(const std::string& input, const std::vector<Patch>& patches) {
    if (patches.empty()) {
        std::printf(
            "%s has no named patches (multiblock files such as foamToVTK's .vtm carry "
            "them)\n",
            input.c_str());
        return;
    }
    size_t width = 0;
    for (const Patch& p : patches) width = std::max(width, p.name.size());
    std::printf("%s: %zu patches\n", input.c_str(), patches.size());
    for (const Patch& p : patches) {
        std::printf("  %-*s %llu faces\n", static_cast<int>(width), p.name.c_str(),
                    (unsigned long long)CountFaces(p));
    }
}

Face3 TriangleKey(Face3 t) {
    std::sort(t.begin(), t.end());
    return t;
}

RoleMap PatchTriangles(const std::vector<Patch>& patches, const std::vector<int>& roles,
                       const Coordinates& grid, FaceSplitter* faces, uint64_t* stray) {
    // The grid's number of each assigned patch point, by position.
    std::unordered_map<PointKey, uint32_t, PointKeyHash> where;
    for (size_t i = 0; i < patches.size(); ++i) {
        if (roles[i] == kNoRole) continue;
        vtkPolyData* poly = patches[i].faces;
        for (vtkIdType p = 0; p < poly->GetNumberOfPoints(); ++p)
            where.emplace(KeyOf(poly->GetPoint(p)), kUnusedPoint);
    }
    RoleMap out;
    if (where.empty()) return out;
    for (uint32_t id = 0; id < grid.Count(); ++id) {
        auto found = where.find(KeyOf(grid[id]));
        if (found != where.end() && found->second == kUnusedPoint) found->second = id;
    }
    std::vector<uint32_t> corners;
    std::vector<Face3> tris;
    for (size_t i = 0; i < patches.size(); ++i) {
        if (roles[i] == kNoRole) continue;
        vtkPolyData* poly = patches[i].faces;
        for (vtkIdType c = 0; c < poly->GetNumberOfCells(); ++c) {
            if (!IsFace(poly->GetCellType(c))) continue;
            tris.clear();
            if (!FaceCorners(poly, c, where, &corners) ||
                faces->Split(corners.data(), corners.size(), false, &tris) ==
                    FaceSplitter::kUnknown) {
                ++*stray;
                continue;
            }
            for (const Face3& t : tris) out.emplace(TriangleKey(t), roles[i]);
        }
    }
    return out;
}

RoleMap Renumber(const RoleMap& roles, const std::vector<uint32_t>& index) {
    RoleMap out;
    out.reserve(roles.size());
    for (const auto& [tri, role] : roles) {
        Face3 t = {index[tri[0]], index[tri[1]], index[tri[2]]};
        if (t[0] == kUnusedPoint || t[1] == kUnusedPoint || t[2] == kUnusedPoint) continue;
        out.emplace(TriangleKey(t), role);
    }
    return out;
}

}  // namespace kav
