#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDoubleArray.h>
#include <vtkErrorCode.h>
#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkObject.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkXMLPolyDataWriter.h>

#include <cstdio>

#include "tools/batch/polydata.h"

namespace {

// Writes `data` to a temporary name beside `path`, then renames it over `path`.
bool Write(vtkPolyData* data, const std::string& path, std::string* error) {
    // A failure is reported once, by the caller, not in VTK's own log lines.
    vtkObject::GlobalWarningDisplayOff();
    vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
    const std::string temporary = path + ".part";
    vtkNew<vtkXMLPolyDataWriter> writer;
    writer->SetFileName(temporary.c_str());
    writer->SetInputData(data);
    writer->SetDataModeToBinary();
    if (writer->Write() != 1 || writer->GetErrorCode() != vtkErrorCode::NoError) {
        std::remove(temporary.c_str());
        *error = "cannot write " + temporary + ": " +
                 vtkErrorCode::GetStringFromErrorCode(writer->GetErrorCode());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        *error = "cannot rename " + temporary + " to " + path;
        return false;
    }
    return true;
}

}  // namespace

bool WriteTrianglesVtp(const TriangleStore& triangles, const std::string& path,
                       std::string* error) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    vtkNew<vtkCellArray> polys;
    vtkNew<vtkDoubleArray> normals;
    normals->SetName("Normal");
    normals->SetNumberOfComponents(3);
    for (size_t i = triangles.Size(); i-- > 0;) {
        const Triangle& t = triangles[i];
        vtkIdType ids[3];
        for (int k = 0; k < 3; ++k) ids[k] = points->InsertNextPoint(t.point[k]);
        polys->InsertNextCell(3, ids);
        normals->InsertNextTuple(t.normal);
    }
    vtkNew<vtkPolyData> data;
    data->SetPoints(points);
    data->SetPolys(polys);
    data->GetCellData()->AddArray(normals);
    return Write(data, path, error);
}

bool WriteLinesVtp(const std::vector<PathLine>& lines, const std::string& path,
                   std::string* error) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    vtkNew<vtkCellArray> polylines;
    vtkNew<vtkCellArray> vertices;  // lines that never left their seed
    for (const PathLine& line : lines) {
        vtkCellArray* cells = line.Points().size() > 1 ? polylines.Get() : vertices.Get();
        cells->InsertNextCell((vtkIdType)line.Points().size());
        for (const Particle& p : line.Points()) {
            cells->InsertCellPoint(points->InsertNextPoint(p.position));
        }
    }
    vtkNew<vtkPolyData> data;
    data->SetPoints(points);
    data->SetLines(polylines);
    if (vertices->GetNumberOfCells() > 0) data->SetVerts(vertices);
    return Write(data, path, error);
}
