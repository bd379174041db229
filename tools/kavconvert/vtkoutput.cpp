#include "tools/kavconvert/vtkoutput.h"

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkDoubleArray.h>
#include <vtkIdTypeArray.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include "tools/kavconvert/vtkmessages.h"

namespace kav {

namespace {

// Positions and flow values of a vertex array, appended to the points and point arrays.
class PointArrays {
public:
    PointArrays() {
        coords->SetNumberOfComponents(3);
        const char* names[4] = {"Density", "Energy", "Momentum", "MomentumMag"};
        for (int k = 0; k < 4; ++k) {
            arrays[k]->SetName(names[k]);
            arrays[k]->SetNumberOfComponents(k == 2 ? 3 : 1);
        }
    }

    void Append(const std::vector<Vertex>& vertices) {
        for (const Vertex& v : vertices) {
            coords->InsertNextTypedTuple(v.point);
            arrays[0]->InsertNextValue(v.Density);
            arrays[1]->InsertNextValue(v.Energy);
            arrays[2]->InsertNextTypedTuple(v.Momentum);
            arrays[3]->InsertNextValue(v.MomentumMag);
        }
    }

    void AttachTo(vtkPointSet* data) {
        vtkNew<vtkPoints> points;
        points->SetData(coords);
        data->SetPoints(points);
        for (auto& a : arrays) data->GetPointData()->AddArray(a);
    }

private:
    vtkNew<vtkDoubleArray> coords;
    vtkNew<vtkDoubleArray> arrays[4];
};

// Runs an XML writer into a temporary file, renamed to `path` once complete.
template <typename Writer>
void Write(vtkDataObject* data, const std::string& path) {
    OutputSet output;
    std::string temporary = output.Add(path);
    vtkNew<Writer> writer;
    writer->SetInputData(data);
    writer->SetFileName(temporary.c_str());
    writer->SetDataModeToAppended();
    writer->EncodeAppendedDataOff();
    VtkMessages* messages = VtkMessages::Install();
    messages->TakeError();
    int ok = writer->Write();
    std::string error = messages->TakeError();
    if (!ok || !error.empty())
        throw ConvertError("cannot write " + path + ": " +
                           (error.empty() ? "VTK's writer failed" : error));
    output.Commit();
}

}  // namespace

void WriteVolumeVtu(const KavVolume& volume, const std::string& path) {
    const TetMesh& mesh = volume.mesh;
    const vtkIdType n = static_cast<vtkIdType>(mesh.tets.size());
    vtkNew<vtkIdTypeArray> offsets, connectivity;
    offsets->SetNumberOfValues(n + 1);
    connectivity->SetNumberOfValues(4 * n);
    for (vtkIdType i = 0; i <= n; ++i) offsets->SetValue(i, 4 * i);
    for (vtkIdType i = 0; i < n; ++i) {
        for (int k = 0; k < 4; ++k) connectivity->SetValue(4 * i + k, mesh.tets[i].v[k]);
    }
    vtkNew<vtkCellArray> cells;
    cells->SetData(offsets, connectivity);

    vtkNew<vtkIntArray> block;
    block->SetName("Block");
    block->SetNumberOfValues(n);
    for (size_t b = 0; b < volume.blocks.size(); ++b) {
        const BlockSpan& s = volume.blocks[b];
        for (size_t i = s.first; i < s.first + s.count; ++i)
            block->SetValue(static_cast<vtkIdType>(i), static_cast<int>(b));
    }

    vtkNew<vtkUnstructuredGrid> grid;
    PointArrays points;
    points.Append(mesh.vertices);
    points.AttachTo(grid);
    grid->SetCells(VTK_TETRA, cells);
    grid->GetCellData()->AddArray(block);
    Write<vtkXMLUnstructuredGridWriter>(grid, path);
}

void WriteSurfacesVtp(const std::array<Surface, kSurfaceCount>& surfaces, const std::string& path) {
    vtkNew<vtkPolyData> poly;
    PointArrays points;
    vtkNew<vtkCellArray> triangles;
    vtkNew<vtkIntArray> role;
    role->SetName("Surface");
    vtkNew<vtkDoubleArray> normals;
    normals->SetName("Normals");
    normals->SetNumberOfComponents(3);
    vtkIdType base = 0;
    for (int r = 0; r < kSurfaceCount; ++r) {
        const Surface& s = surfaces[r];
        points.Append(s.vertices);
        for (size_t i = 0; i < s.faces.size(); ++i) {
            vtkIdType ids[3] = {base + s.faces[i][0], base + s.faces[i][1], base + s.faces[i][2]};
            triangles->InsertNextCell(3, ids);
            role->InsertNextValue(r + 1);
            normals->InsertNextTypedTuple(s.normals[i].data());
        }
        base += static_cast<vtkIdType>(s.vertices.size());
    }
    points.AttachTo(poly);
    poly->SetPolys(triangles);
    poly->GetCellData()->AddArray(role);
    poly->GetCellData()->SetNormals(normals);
    Write<vtkXMLPolyDataWriter>(poly, path);
}

}  // namespace kav
