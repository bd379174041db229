#include "grids.h"

#include <sys/wait.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkDoubleArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkUnstructuredGridWriter.h>
#include <vtkXMLUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
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
    for (int r = 0; r < 4; ++r) s[r] = kav::ReadSurface(dir + "/" + kav::SurfaceFileName(r));
    return s;
}

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
