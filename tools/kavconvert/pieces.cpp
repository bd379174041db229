#include "tools/kavconvert/pieces.h"

#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkDataArray.h>
#include <vtkDataSetAttributes.h>
#include <vtkDoubleArray.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <cstdio>
#include <string>
#include <unordered_map>

#include "tools/kavconvert/pointkey.h"
#include "tools/kavconvert/progress.h"

namespace kav {

namespace {

const uint32_t kUnused = UINT32_MAX;
const char* const kGhostName = "vtkGhostType";

bool IsGhost(vtkUnsignedCharArray* ghosts, vtkIdType cell) {
    return ghosts && (ghosts->GetValue(cell) & vtkDataSetAttributes::DUPLICATECELL);
}

// Refuses a cell that refers to a point beyond its piece's points, before anything looks
// that point up. `piece` is empty for a single grid.
void CheckPointNumbers(vtkUnstructuredGrid* grid, vtkIdType cell, const std::string& piece) {
    const vtkIdType points = grid->GetNumberOfPoints();
    auto check = [&](vtkIdType n, const vtkIdType* ids) {
        for (vtkIdType k = 0; k < n; ++k) {
            if (ids[k] >= 0 && ids[k] < points) continue;
            throw ConvertError("cell " + std::to_string(cell) + piece + " refers to point " +
                               std::to_string(ids[k]) + ", but the " +
                               (piece.empty() ? "grid" : "piece") + " has " +
                               std::to_string(points) + " points");
        }
    };
    vtkIdType n;
    const vtkIdType* ids;
    grid->GetCellPoints(cell, n, ids);
    check(n, ids);
    if (grid->GetCellType(cell) != VTK_POLYHEDRON) return;
    vtkIdType faces;
    grid->GetFaceStream(cell, faces, ids);
    for (vtkIdType f = 0; f < faces; ++f) {
        if (ids[0] < 0)
            throw ConvertError("cell " + std::to_string(cell) + piece +
                               " has a face of a negative number of points");
        check(ids[0], ids + 1);
        ids += ids[0] + 1;
    }
}

// The numeric arrays that every piece has under the same name with the same number of
// components, but the ghost markers; each piece's arrays in that order.
std::vector<std::vector<vtkDataArray*>> CommonArrays(
    const std::vector<vtkSmartPointer<vtkUnstructuredGrid>>& pieces, bool onCells) {
    auto data = [onCells](vtkUnstructuredGrid* g) -> vtkDataSetAttributes* {
        if (onCells) return g->GetCellData();
        return g->GetPointData();
    };
    std::vector<std::vector<vtkDataArray*>> arrays(pieces.size());
    vtkDataSetAttributes* first = data(pieces.front());
    for (int i = 0; i < first->GetNumberOfArrays(); ++i) {
        vtkDataArray* a = first->GetArray(i);
        if (!a || !a->GetName() || std::string(a->GetName()) == kGhostName) continue;
        std::vector<vtkDataArray*> found;
        for (const auto& piece : pieces) {
            vtkDataArray* b = data(piece)->GetArray(a->GetName());
            if (!b || b->GetNumberOfComponents() != a->GetNumberOfComponents()) break;
            found.push_back(b);
        }
        if (found.size() != pieces.size()) continue;
        for (size_t p = 0; p < pieces.size(); ++p) arrays[p].push_back(found[p]);
    }
    return arrays;
}

// An empty array like each of `like`, sized for `n` tuples, added to `out`.
std::vector<vtkDataArray*> AddArrays(const std::vector<vtkDataArray*>& like, vtkIdType n,
                                     vtkDataSetAttributes* out) {
    std::vector<vtkDataArray*> made;
    for (vtkDataArray* a : like) {
        vtkSmartPointer<vtkDataArray> b = vtk::TakeSmartPointer(a->NewInstance());
        b->SetName(a->GetName());
        b->SetNumberOfComponents(a->GetNumberOfComponents());
        b->SetNumberOfTuples(n);
        out->AddArray(b);
        made.push_back(b);
    }
    return made;
}

class Merger {
public:
    Merger(const std::vector<vtkSmartPointer<vtkUnstructuredGrid>>& p, CellCounts* c)
        : pieces(p), counts(c), maps(p.size()) {}

    // Numbers the points of the cells that stay, piece after piece.
    void NumberPoints() {
        uint64_t total = 0;
        for (const auto& piece : pieces) total += static_cast<uint64_t>(piece->GetNumberOfPoints());
        CheckCount(total, "points");
        first.reserve(static_cast<size_t>(total));
        for (size_t p = 0; p < pieces.size(); ++p) {
            vtkUnstructuredGrid* piece = pieces[p];
            std::string label = pieces.size() > 1 ? " of piece " + std::to_string(p) : "";
            maps[p].assign(static_cast<size_t>(piece->GetNumberOfPoints()), kUnused);
            vtkUnsignedCharArray* ghosts = piece->GetCellGhostArray();
            Progress progress("Joining the pieces",
                              static_cast<uint64_t>(piece->GetNumberOfCells()));
            for (vtkIdType c = 0; c < piece->GetNumberOfCells(); ++c) {
                progress.Update(static_cast<uint64_t>(c));
                if (IsGhost(ghosts, c)) {
                    ++counts->ghost;
                    continue;
                }
                CheckPointNumbers(piece, c, label);
                ForEachPoint(piece, c, [&](vtkIdType id) { Number(p, id); });
            }
        }
    }

    bool Changed() const { return pieces.size() > 1 || counts->ghost > 0 || counts->merged > 0; }

    vtkSmartPointer<vtkUnstructuredGrid> Build() {
        auto out = vtkSmartPointer<vtkUnstructuredGrid>::New();
        vtkNew<vtkDoubleArray> coords;
        coords->SetNumberOfComponents(3);
        coords->SetNumberOfTuples(static_cast<vtkIdType>(origins.size()));
        std::vector<std::vector<vtkDataArray*>> from = CommonArrays(pieces, false);
        std::vector<vtkDataArray*> to =
            AddArrays(from.front(), static_cast<vtkIdType>(origins.size()), out->GetPointData());
        for (size_t i = 0; i < origins.size(); ++i) {
            const Origin& o = origins[i];
            double x[3];
            pieces[o.piece]->GetPoint(o.id, x);
            coords->SetTypedTuple(static_cast<vtkIdType>(i), x);
            for (size_t a = 0; a < to.size(); ++a)
                to[a]->SetTuple(static_cast<vtkIdType>(i), o.id, from[o.piece][a]);
        }
        vtkNew<vtkPoints> points;
        points->SetData(coords);
        out->SetPoints(points);
        CopyCells(out);
        return out;
    }

private:
    struct Origin {
        uint32_t piece;
        vtkIdType id;
    };

    template <typename Fn>
    static void ForEachPoint(vtkUnstructuredGrid* piece, vtkIdType c, Fn fn) {
        vtkIdType n;
        const vtkIdType* ids;
        piece->GetCellPoints(c, n, ids);
        for (vtkIdType k = 0; k < n; ++k) fn(ids[k]);
        if (piece->GetCellType(c) != VTK_POLYHEDRON) return;
        vtkIdType faces;
        piece->GetFaceStream(c, faces, ids);
        for (vtkIdType f = 0; f < faces; ++f) {
            for (vtkIdType k = 1; k <= ids[0]; ++k) fn(ids[k]);
            ids += ids[0] + 1;
        }
    }

    void Number(size_t p, vtkIdType id) {
        uint32_t& global = maps[p][static_cast<size_t>(id)];
        if (global != kUnused) return;
        double x[3];
        pieces[p]->GetPoint(id, x);
        auto found = first.emplace(KeyOf(x), static_cast<uint32_t>(origins.size()));
        if (found.second) {
            origins.push_back({static_cast<uint32_t>(p), id});
        } else {
            ++counts->merged;
        }
        global = found.first->second;
    }

    void CopyCells(vtkUnstructuredGrid* out) {
        uint64_t kept = 0;
        for (const auto& piece : pieces) kept += static_cast<uint64_t>(piece->GetNumberOfCells());
        kept -= counts->ghost;
        out->AllocateEstimate(static_cast<vtkIdType>(kept), 8);
        std::vector<std::vector<vtkDataArray*>> from = CommonArrays(pieces, true);
        std::vector<vtkDataArray*> to =
            AddArrays(from.front(), static_cast<vtkIdType>(kept), out->GetCellData());
        std::vector<vtkIdType> ids, stream;
        vtkIdType next = 0;
        for (size_t p = 0; p < pieces.size(); ++p) {
            vtkUnstructuredGrid* piece = pieces[p];
            vtkUnsignedCharArray* ghosts = piece->GetCellGhostArray();
            const std::vector<uint32_t>& map = maps[p];
            for (vtkIdType c = 0; c < piece->GetNumberOfCells(); ++c) {
                if (IsGhost(ghosts, c)) continue;
                vtkIdType n;
                const vtkIdType* cellIds;
                piece->GetCellPoints(c, n, cellIds);
                ids.resize(static_cast<size_t>(n));
                for (vtkIdType k = 0; k < n; ++k) ids[k] = map[cellIds[k]];
                int type = piece->GetCellType(c);
                if (type == VTK_POLYHEDRON) {
                    vtkIdType faces;
                    const vtkIdType* s;
                    piece->GetFaceStream(c, faces, s);
                    stream.clear();
                    for (vtkIdType f = 0; f < faces; ++f) {
                        stream.push_back(s[0]);
                        for (vtkIdType k = 1; k <= s[0]; ++k) stream.push_back(map[s[k]]);
                        s += s[0] + 1;
                    }
                    out->InsertNextCell(type, n, ids.data(), faces, stream.data());
                } else {
                    out->InsertNextCell(type, n, ids.data());
                }
                for (size_t a = 0; a < to.size(); ++a) to[a]->SetTuple(next, c, from[p][a]);
                ++next;
            }
        }
    }

    const std::vector<vtkSmartPointer<vtkUnstructuredGrid>>& pieces;
    CellCounts* counts;
    std::vector<std::vector<uint32_t>> maps;  // each piece's point numbers in the joined grid
    std::unordered_map<PointKey, uint32_t, PointKeyHash> first;
    std::vector<Origin> origins;  // where each joined point first occurs
};

}  // namespace

vtkSmartPointer<vtkUnstructuredGrid> MergePieces(
    const std::vector<vtkSmartPointer<vtkUnstructuredGrid>>& pieces, CellCounts* counts) {
    Merger merger(pieces, counts);
    merger.NumberPoints();
    if (!merger.Changed()) return pieces.front();
    if (pieces.size() > 1 || counts->ghost > 0)
        std::printf("-> Joining %zu pieces: %llu ghost cells dropped, %llu points merged\n",
                    pieces.size(), (unsigned long long)counts->ghost,
                    (unsigned long long)counts->merged);
    return merger.Build();
}

}  // namespace kav
