#include "grids.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkCompositeDataSet.h>
#include <vtkDoubleArray.h>
#include <vtkGenericCell.h>
#include <vtkIdList.h>
#include <vtkInformation.h>
#include <vtkMultiBlockDataSet.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGridWriter.h>
#include <vtkXMLMultiBlockDataWriter.h>
#include <vtkXMLUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>

double Plane(int axis, int i) {
    // Uneven steps, different per axis, so that no symmetry hides a mistake.
    return (axis + 1) * 0.5 * i + 0.1 * i * i + 0.3 * axis;
}

vtkSmartPointer<vtkUnstructuredGrid> HexGrid(int nx, int ny, int nz) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    for (int k = 0; k <= nz; ++k) {
        for (int j = 0; j <= ny; ++j) {
            for (int i = 0; i <= nx; ++i)
                points->InsertNextPoint(Plane(0, i), Plane(1, j), Plane(2, k));
        }
    }
    auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
    grid->SetPoints(points);
    auto id = [&](int i, int j, int k) { return vtkIdType(i + (nx + 1) * (j + (ny + 1) * k)); };
    for (int k = 0; k < nz; ++k) {
        for (int j = 0; j < ny; ++j) {
            for (int i = 0; i < nx; ++i) {
                vtkIdType hex[8] = {id(i, j, k),
                                    id(i + 1, j, k),
                                    id(i + 1, j + 1, k),
                                    id(i, j + 1, k),
                                    id(i, j, k + 1),
                                    id(i + 1, j, k + 1),
                                    id(i + 1, j + 1, k + 1),
                                    id(i, j + 1, k + 1)};
                grid->InsertNextCell(VTK_HEXAHEDRON, 8, hex);
            }
        }
    }
    return grid;
}

namespace {

vtkSmartPointer<vtkDoubleArray> MakeArray(const char* name, int components, vtkIdType n) {
    auto a = vtkSmartPointer<vtkDoubleArray>::New();
    a->SetName(name);
    a->SetNumberOfComponents(components);
    a->SetNumberOfTuples(n);
    return a;
}

}  // namespace

void AddPointArray(vtkUnstructuredGrid* grid, const char* name, int components, FieldFn f) {
    auto a = MakeArray(name, components, grid->GetNumberOfPoints());
    for (vtkIdType i = 0; i < grid->GetNumberOfPoints(); ++i)
        a->SetTuple(i, f(grid->GetPoint(i)).data());
    grid->GetPointData()->AddArray(a);
}

void AddCellArray(vtkUnstructuredGrid* grid, const char* name, int components, FieldFn f) {
    auto a = MakeArray(name, components, grid->GetNumberOfCells());
    for (vtkIdType c = 0; c < grid->GetNumberOfCells(); ++c) {
        double bounds[6];
        grid->GetCellBounds(c, bounds);
        double centre[3] = {(bounds[0] + bounds[1]) / 2, (bounds[2] + bounds[3]) / 2,
                            (bounds[4] + bounds[5]) / 2};
        a->SetTuple(c, f(centre).data());
    }
    grid->GetCellData()->AddArray(a);
}

void WriteVtu(vtkUnstructuredGrid* grid, const std::string& path) {
    vtkNew<vtkXMLUnstructuredGridWriter> w;
    w->SetInputData(grid);
    w->SetFileName(path.c_str());
    if (!w->Write()) throw std::runtime_error("cannot write " + path);
}

void WriteLegacy(vtkUnstructuredGrid* grid, const std::string& path) {
    vtkNew<vtkUnstructuredGridWriter> w;
    w->SetInputData(grid);
    w->SetFileName(path.c_str());
    w->SetFileTypeToBinary();
    if (!w->Write()) throw std::runtime_error("cannot write " + path);
}

vtkSmartPointer<vtkUnstructuredGrid> ReadVtu(const std::string& path) {
    vtkNew<vtkXMLUnstructuredGridReader> r;
    r->SetFileName(path.c_str());
    r->Update();
    return r->GetOutput();
}

int RunCommand(const std::string& command, std::string* output) {
    output->clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Kavconvert(const std::string& args, std::string* output) {
    return RunCommand(std::string(KAVCONVERT) + " " + args, output);
}

std::array<kav::Surface, 4> ReadSurfaces(const std::string& dir) {
    std::array<kav::Surface, 4> s;
    for (int r = 0; r < 4; ++r) s[r] = kav::ReadSurface(dir + "/" + SurfaceFileName(r));
    return s;
}

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Face lists of a hexahedron over its corners in VTK's order, wound alike.
const int kHexFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

void InsertPolyhedron(vtkUnstructuredGrid* grid, const std::vector<std::vector<vtkIdType>>& faces) {
    std::vector<vtkIdType> stream, points;
    for (const auto& f : faces) {
        stream.push_back(static_cast<vtkIdType>(f.size()));
        for (vtkIdType id : f) {
            stream.push_back(id);
            if (std::find(points.begin(), points.end(), id) == points.end()) points.push_back(id);
        }
    }
    grid->InsertNextCell(VTK_POLYHEDRON, static_cast<vtkIdType>(points.size()), points.data(),
                         static_cast<vtkIdType>(faces.size()), stream.data());
}

}  // namespace

vtkSmartPointer<vtkUnstructuredGrid> MixedGrid(double jitter) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> shift(-jitter, jitter);
    auto id = [](int i, int j, int k) { return vtkIdType(i + 4 * (j + 4 * k)); };
    for (int k = 0; k <= 2; ++k) {
        for (int j = 0; j <= 3; ++j) {
            for (int i = 0; i <= 3; ++i) {
                // Inner points move, but for the voxel's, which must stay on a box.
                bool inner = i > 0 && i < 3 && j > 0 && j < 3 && k == 1;
                bool voxel = i >= 2 && j <= 1 && k <= 1;
                double d = inner && !voxel ? 1 : 0;
                points->InsertNextPoint(i + d * shift(rng), j + d * shift(rng), k + d * shift(rng));
            }
        }
    }
    auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
    grid->SetPoints(points);
    auto corners = [&](int i, int j, int k) {
        return std::array<vtkIdType, 8>{
            id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
            id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
    };
    auto centre = [&](const std::array<vtkIdType, 8>& h) {
        double c[3] = {0, 0, 0}, p[3];
        for (vtkIdType v : h) {
            points->GetPoint(v, p);
            for (int a = 0; a < 3; ++a) c[a] += p[a] / 8;
        }
        return points->InsertNextPoint(c);
    };
    // The edge x = 1, z = 0 from y = 2 to 3 gets a point in its middle.
    vtkIdType middle = points->InsertNextPoint(1, 2.5, 0);
    for (int k = 0; k < 2; ++k) {
        for (int j = 0; j < 3; ++j) {
            for (int i = 0; i < 3; ++i) {
                std::array<vtkIdType, 8> h = corners(i, j, k);
                if (i == 0 && j == 0) {  // two wedges split on the diagonal h0-h2
                    vtkIdType a[6] = {h[0], h[1], h[2], h[4], h[5], h[6]};
                    vtkIdType b[6] = {h[0], h[2], h[3], h[4], h[6], h[7]};
                    grid->InsertNextCell(VTK_WEDGE, 6, a);
                    grid->InsertNextCell(VTK_WEDGE, 6, b);
                } else if (i == 2 && j == 0 && k == 0) {
                    vtkIdType v[8] = {h[0], h[1], h[3], h[2], h[4], h[5], h[7], h[6]};
                    grid->InsertNextCell(VTK_VOXEL, 8, v);
                } else if (i == 2 && j <= 1) {  // six pyramids around the slot's centre
                    vtkIdType c = centre(h);
                    for (int f = 0; f < 6; ++f) {
                        const int* q = kHexFaces[f];
                        vtkIdType base[4] = {h[q[0]], h[q[1]], h[q[2]], h[q[3]]};
                        if (j == 0 && k == 1 && f == 1) {  // the top, on the boundary
                            vtkIdType t1[4] = {base[0], base[1], base[2], c};
                            vtkIdType t2[4] = {base[0], base[2], base[3], c};
                            grid->InsertNextCell(VTK_TETRA, 4, t1);
                            grid->InsertNextCell(VTK_TETRA, 4, t2);
                            continue;
                        }
                        vtkIdType pyramid[5] = {base[0], base[1], base[2], base[3], c};
                        grid->InsertNextCell(VTK_PYRAMID, 5, pyramid);
                    }
                } else if (i == 0 && j == 1) {
                    std::vector<std::vector<vtkIdType>> faces;
                    for (const auto& q : kHexFaces)
                        faces.push_back({h[q[0]], h[q[1]], h[q[2]], h[q[3]]});
                    InsertPolyhedron(grid, faces);
                } else if (j == 2 && k == 0 && i <= 1) {
                    std::vector<std::vector<vtkIdType>> faces;
                    for (const auto& q : kHexFaces) {
                        std::vector<vtkIdType> f;
                        for (int n = 0; n < 4; ++n) {
                            f.push_back(h[q[n]]);
                            vtkIdType next = h[q[(n + 1) % 4]];
                            bool split = (f.back() == id(1, 2, 0) && next == id(1, 3, 0)) ||
                                         (f.back() == id(1, 3, 0) && next == id(1, 2, 0));
                            if (split) f.push_back(middle);
                        }
                        faces.push_back(f);
                    }
                    InsertPolyhedron(grid, faces);
                } else if (i == 1 && j == 1) {  // mirrored: the top listed first
                    vtkIdType m[8] = {h[4], h[5], h[6], h[7], h[0], h[1], h[2], h[3]};
                    grid->InsertNextCell(VTK_HEXAHEDRON, 8, m);
                } else {
                    grid->InsertNextCell(VTK_HEXAHEDRON, 8, h.data());
                }
            }
        }
    }
    return grid;
}

std::vector<NamedPatch> SidePatches(vtkUnstructuredGrid* grid) {
    std::map<std::vector<vtkIdType>, std::pair<int, std::vector<vtkIdType>>> faces;
    vtkNew<vtkGenericCell> cell;
    for (vtkIdType c = 0; c < grid->GetNumberOfCells(); ++c) {
        grid->GetCell(c, cell);
        if (cell->GetCellDimension() != 3) continue;
        for (int f = 0; f < cell->GetNumberOfFaces(); ++f) {
            vtkCell* faceCell = cell->GetFace(f);
            vtkIdList* ids = faceCell->GetPointIds();
            std::vector<vtkIdType> face(ids->GetPointer(0),
                                        ids->GetPointer(0) + ids->GetNumberOfIds());
            if (faceCell->GetCellType() == VTK_PIXEL) std::swap(face[2], face[3]);  // to a loop
            std::vector<vtkIdType> key = face;
            std::sort(key.begin(), key.end());
            auto& entry = faces[key];
            if (entry.first++ == 0) entry.second = face;
        }
    }
    double bounds[6];
    grid->GetBounds(bounds);
    const char* names[6] = {"xmin", "xmax", "ymin", "ymax", "zmin", "zmax"};
    std::vector<NamedPatch> patches;
    for (int side = 0; side < 6; ++side) {
        vtkNew<vtkCellArray> polys;
        for (const auto& [key, entry] : faces) {
            if (entry.first != 1) continue;
            bool on = true;
            for (vtkIdType v : key) on = on && grid->GetPoint(v)[side / 2] == bounds[side];
            if (on)
                polys->InsertNextCell(static_cast<vtkIdType>(entry.second.size()),
                                      entry.second.data());
        }
        auto poly = vtkSmartPointer<vtkPolyData>::New();
        poly->SetPoints(grid->GetPoints());
        poly->SetPolys(polys);
        patches.push_back({names[side], poly});
    }
    return patches;
}

void WriteMultiBlock(const std::vector<vtkSmartPointer<vtkUnstructuredGrid>>& pieces,
                     const std::vector<NamedPatch>& patches, const std::string& path) {
    vtkNew<vtkMultiBlockDataSet> root, boundary;
    unsigned n = 0;
    for (const auto& p : pieces) {
        root->SetBlock(n, p);
        root->GetMetaData(n)->Set(vtkCompositeDataSet::NAME(),
                                  ("internal" + std::to_string(n)).c_str());
        ++n;
    }
    for (unsigned i = 0; i < patches.size(); ++i) {
        boundary->SetBlock(i, patches[i].faces);
        boundary->GetMetaData(i)->Set(vtkCompositeDataSet::NAME(), patches[i].name.c_str());
    }
    root->SetBlock(n, boundary);
    root->GetMetaData(n)->Set(vtkCompositeDataSet::NAME(), "boundary");
    vtkNew<vtkXMLMultiBlockDataWriter> w;
    w->SetInputData(root);
    w->SetFileName(path.c_str());
    if (!w->Write()) throw std::runtime_error("cannot write " + path);
}

vtkSmartPointer<vtkUnstructuredGrid> Piece(vtkUnstructuredGrid* grid, vtkIdType first,
                                           vtkIdType last, vtkIdType ghosts) {
    auto piece = vtkSmartPointer<vtkUnstructuredGrid>::New();
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    piece->GetPointData()->CopyAllocate(grid->GetPointData());
    piece->GetCellData()->CopyAllocate(grid->GetCellData());
    vtkNew<vtkUnsignedCharArray> ghostType;
    ghostType->SetName("vtkGhostType");
    std::map<vtkIdType, vtkIdType> local;
    auto map = [&](vtkIdType id) {
        auto found = local.emplace(id, points->GetNumberOfPoints());
        if (found.second) {
            points->InsertNextPoint(grid->GetPoint(id));
            piece->GetPointData()->CopyData(grid->GetPointData(), id, found.first->second);
        }
        return found.first->second;
    };
    for (vtkIdType c = std::max<vtkIdType>(0, first - ghosts); c < last; ++c) {
        vtkIdType npts;
        const vtkIdType* ids;
        grid->GetCellPoints(c, npts, ids);
        std::vector<vtkIdType> mine;
        for (vtkIdType k = 0; k < npts; ++k) mine.push_back(map(ids[k]));
        if (grid->GetCellType(c) == VTK_POLYHEDRON) {
            vtkIdType nfaces;
            const vtkIdType* stream;
            grid->GetFaceStream(c, nfaces, stream);
            std::vector<vtkIdType> s;
            for (vtkIdType f = 0; f < nfaces; ++f) {
                s.push_back(stream[0]);
                for (vtkIdType k = 1; k <= stream[0]; ++k) s.push_back(map(stream[k]));
                stream += stream[0] + 1;
            }
            piece->InsertNextCell(VTK_POLYHEDRON, npts, mine.data(), nfaces, s.data());
        } else {
            piece->InsertNextCell(grid->GetCellType(c), npts, mine.data());
        }
        piece->GetCellData()->CopyData(grid->GetCellData(), c, piece->GetNumberOfCells() - 1);
        ghostType->InsertNextValue(c < first ? 1 : 0);
    }
    piece->SetPoints(points);
    piece->GetCellData()->AddArray(ghostType);
    return piece;
}

namespace {

using Corners = std::array<double, 12>;

std::vector<Corners> SortedTets(const kav::KavVolume& v) {
    std::vector<Corners> out;
    for (const kav::Tet& t : v.mesh.tets) {
        Corners c;
        for (int k = 0; k < 4; ++k)
            std::copy(v.mesh.vertices[t.v[k]].point, v.mesh.vertices[t.v[k]].point + 3, &c[3 * k]);
        out.push_back(c);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::map<std::array<double, 3>, std::array<double, 5>> ValuesByPosition(const kav::KavVolume& v) {
    std::map<std::array<double, 3>, std::array<double, 5>> out;
    for (const Vertex& p : v.mesh.vertices) {
        out[{p.point[0], p.point[1], p.point[2]}] = {p.Density, p.Energy, p.Momentum[0],
                                                     p.Momentum[1], p.Momentum[2]};
    }
    return out;
}

// Triangles by their corners, each started at its smallest so that the same triangle wound
// the same way compares equal.
std::vector<std::array<std::array<double, 3>, 3>> SortedTriangles(const kav::Surface& s) {
    std::vector<std::array<std::array<double, 3>, 3>> out;
    for (const kav::Face3& f : s.faces) {
        std::array<std::array<double, 3>, 3> t;
        for (int k = 0; k < 3; ++k) {
            const double* p = s.vertices[f[k]].point;
            t[k] = {p[0], p[1], p[2]};
        }
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

void ExpectSameConversion(const std::string& want, const std::string& got) {
    kav::KavVolume a = kav::ReadVolume(want + "/volume.kav");
    kav::KavVolume b = kav::ReadVolume(got + "/volume.kav");
    EXPECT_EQ(a.mesh.vertices.size(), b.mesh.vertices.size());
    EXPECT_EQ(SortedTets(a), SortedTets(b));
    EXPECT_EQ(ValuesByPosition(a), ValuesByPosition(b));
    std::array<kav::Surface, 4> sa = ReadSurfaces(want), sb = ReadSurfaces(got);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(SortedTriangles(sa[r]), SortedTriangles(sb[r])) << r;
}
