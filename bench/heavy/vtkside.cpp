#include "bench/heavy/vtkside.h"

#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkCellData.h>
#include <vtkCellLocatorInterpolatedVelocityField.h>
#include <vtkContour3DLinearGrid.h>
#include <vtkDoubleArray.h>
#include <vtkIdTypeArray.h>
#include <vtkInterpolatedVelocityField.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkStreamTracer.h>
#include <vtkUnstructuredGrid.h>

#include <cmath>

#include "tools/kavconvert/kavfiles.h"

namespace {

// vtkStreamTracer normalises the velocity before each step, so that its steps have a fixed
// length; the viewer's steps last one unit of time and move by the momentum itself. This
// interpolator leaves the velocity as it is, so that with a step of 1 in length units the
// tracer takes exactly the viewer's midpoint steps: x + M(x + M(x) / 2).
template <class Base>
class TimeStepField : public Base {
public:
    static TimeStepField* New() { VTK_STANDARD_NEW_BODY(TimeStepField); }
    vtkTemplateTypeMacro(TimeStepField, Base);

    using Base::FunctionValues;
    int FunctionValues(double* x, double* f) override {
        const bool normalize = this->NormalizeVector;
        this->NormalizeVector = false;
        int found = Base::FunctionValues(x, f);
        this->NormalizeVector = normalize;
        return found;
    }
};

const char* const kArrayNames[kBenchFieldCount] = {"Density", "Energy", "MomentumMag"};

double Scalar(const Vertex& v, BenchField field) {
    return field == kDensity ? v.Density : field == kEnergy ? v.Energy : v.MomentumMag;
}

double TriangleArea(const double* a, const double* b, const double* c) {
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) u[k] = b[k] - a[k], v[k] = c[k] - a[k];
    double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2],
           z = u[0] * v[1] - u[1] * v[0];
    return 0.5 * std::sqrt(x * x + y * y + z * z);
}

// The filter works on composite data too, so its output is only declared a data object.
vtkPolyData* Output(vtkContour3DLinearGrid* contour) {
    return vtkPolyData::SafeDownCast(contour->GetOutputDataObject(0));
}

}  // namespace

struct VtkSide::State {
    kav::KavVolume volume;
    // The tetrahedra with the three scalars, for the contour filter; the same tetrahedra with
    // only the momentum, for the tracer, which carries every point array of its input onto its
    // lines.
    vtkNew<vtkUnstructuredGrid> grid;
    vtkNew<vtkUnstructuredGrid> flow;
    vtkSmartPointer<vtkContour3DLinearGrid> contours[kBenchFieldCount];
    vtkSmartPointer<vtkStreamTracer> tracers[2];
    vtkNew<vtkPolyData> seedPoints;
};

VtkSide::VtkSide() : state(new State) {}
VtkSide::~VtkSide() = default;

void VtkSide::Load(const std::string& volumePath) {
    state->volume = kav::ReadVolume(volumePath);
    const kav::TetMesh& mesh = state->volume.mesh;

    vtkNew<vtkDoubleArray> coords;
    coords->SetNumberOfComponents(3);
    coords->SetNumberOfTuples((vtkIdType)mesh.vertices.size());
    vtkNew<vtkDoubleArray> scalars[kBenchFieldCount];
    vtkNew<vtkDoubleArray> momentum;
    momentum->SetName("Momentum");
    momentum->SetNumberOfComponents(3);
    momentum->SetNumberOfTuples((vtkIdType)mesh.vertices.size());
    for (int f = 0; f < kBenchFieldCount; ++f) {
        scalars[f]->SetName(kArrayNames[f]);
        scalars[f]->SetNumberOfTuples((vtkIdType)mesh.vertices.size());
    }
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Vertex& v = mesh.vertices[i];
        coords->SetTypedTuple((vtkIdType)i, v.point);
        momentum->SetTypedTuple((vtkIdType)i, v.Momentum);
        for (int f = 0; f < kBenchFieldCount; ++f) {
            scalars[f]->SetValue((vtkIdType)i, Scalar(v, BenchField(f)));
        }
    }
    vtkNew<vtkPoints> points;
    points->SetData(coords);

    vtkNew<vtkIdTypeArray> offsets, connectivity;
    offsets->SetNumberOfValues((vtkIdType)mesh.tets.size() + 1);
    connectivity->SetNumberOfValues(4 * (vtkIdType)mesh.tets.size());
    for (size_t t = 0; t < mesh.tets.size(); ++t) {
        offsets->SetValue((vtkIdType)t, 4 * (vtkIdType)t);
        for (int k = 0; k < 4; ++k) connectivity->SetValue(4 * (vtkIdType)t + k, mesh.tets[t].v[k]);
    }
    offsets->SetValue((vtkIdType)mesh.tets.size(), 4 * (vtkIdType)mesh.tets.size());
    vtkNew<vtkCellArray> cells;
    cells->SetData(offsets, connectivity);

    state->grid->SetPoints(points);
    state->grid->SetCells(VTK_TETRA, cells);
    for (auto& s : scalars) state->grid->GetPointData()->AddArray(s);
    state->flow->SetPoints(points);
    state->flow->SetCells(VTK_TETRA, cells);
    state->flow->GetPointData()->SetVectors(momentum);

    for (int f = 0; f < kBenchFieldCount; ++f) {
        auto& contour = state->contours[f];
        contour = vtkSmartPointer<vtkContour3DLinearGrid>::New();
        contour->SetInputData(state->grid);
        contour->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS,
                                        kArrayNames[f]);
        contour->SetSequentialProcessing(true);
        contour->SetMergePoints(false);
        contour->SetInterpolateAttributes(false);
        contour->SetComputeNormals(false);
        contour->SetComputeScalars(false);
    }
    for (int l = 0; l < 2; ++l) {
        auto& tracer = state->tracers[l];
        tracer = vtkSmartPointer<vtkStreamTracer>::New();
        vtkSmartPointer<vtkAbstractInterpolatedVelocityField> field;
        if (l == kPointLocator) {
            field = vtkSmartPointer<TimeStepField<vtkInterpolatedVelocityField>>::New();
        } else {
            field = vtkSmartPointer<TimeStepField<vtkCellLocatorInterpolatedVelocityField>>::New();
        }
        tracer->SetInterpolatorPrototype(field);
        tracer->SetInputData(state->flow);
        tracer->SetSourceData(state->seedPoints);
        tracer->SetIntegratorTypeToRungeKutta2();
        tracer->SetIntegrationStepUnit(vtkStreamTracer::LENGTH_UNIT);
        tracer->SetInitialIntegrationStep(1.0);
        tracer->SetIntegrationDirectionToForward();
        tracer->SetMaximumPropagation(1e300);
        tracer->SetTerminalSpeed(0);
        tracer->SetComputeVorticity(false);
    }
}

double VtkSide::CutShare(BenchField field, double value) const {
    const kav::TetMesh& mesh = state->volume.mesh;
    uint64_t cut = 0;
    for (const kav::Tet& t : mesh.tets) {
        int above = 0;
        for (uint32_t v : t.v) above += Scalar(mesh.vertices[v], field) >= value;
        cut += above > 0 && above < 4;
    }
    return mesh.tets.empty() ? 0 : (double)cut / (double)mesh.tets.size();
}

void VtkSide::Contour(BenchField field, double value) {
    vtkContour3DLinearGrid* contour = state->contours[field];
    contour->SetValue(0, value);
    contour->Modified();  // run again even when nothing changed
    contour->Update();
}

uint64_t VtkSide::TriangleCount(BenchField field) const {
    return (uint64_t)Output(state->contours[field])->GetNumberOfCells();
}

double VtkSide::SurfaceArea(BenchField field) const {
    vtkPolyData* surface = Output(state->contours[field]);
    double area = 0;
    vtkCellArray* polys = surface->GetPolys();
    auto iter = vtk::TakeSmartPointer(polys->NewIterator());
    for (iter->GoToFirstCell(); !iter->IsDoneWithTraversal(); iter->GoToNextCell()) {
        vtkIdType n;
        const vtkIdType* ids;
        iter->GetCurrentCell(n, ids);
        if (n != 3) continue;
        double p[3][3];
        for (int k = 0; k < 3; ++k) surface->GetPoint(ids[k], p[k]);
        area += TriangleArea(p[0], p[1], p[2]);
    }
    return area;
}

void VtkSide::Trace(Locator locator, const std::vector<Point>& seeds, int maxSteps) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    for (const Point& s : seeds) points->InsertNextPoint(s.data());
    state->seedPoints->SetPoints(points);
    vtkStreamTracer* tracer = state->tracers[locator];
    tracer->SetMaximumNumberOfSteps(maxSteps);
    tracer->Modified();
    tracer->Update();
}

bool VtkSide::Inside(const Point& p) const {
    double x[3] = {p[0], p[1], p[2]}, pcoords[3], weights[4];
    int subId;
    return state->flow->FindCell(x, nullptr, -1, 1e-12, subId, pcoords, weights) >= 0;
}

std::vector<std::vector<Point>> VtkSide::Lines(Locator locator, size_t seeds) const {
    std::vector<std::vector<Point>> lines(seeds);
    vtkPolyData* out = state->tracers[locator]->GetOutput();
    vtkDataArray* seedIds = out->GetCellData()->GetArray("SeedIds");
    vtkCellArray* cells = out->GetLines();
    auto iter = vtk::TakeSmartPointer(cells->NewIterator());
    vtkIdType cell = 0;
    for (iter->GoToFirstCell(); !iter->IsDoneWithTraversal(); iter->GoToNextCell(), ++cell) {
        vtkIdType n;
        const vtkIdType* ids;
        iter->GetCurrentCell(n, ids);
        size_t seed = seedIds ? (size_t)seedIds->GetTuple1(cell) : (size_t)cell;
        if (seed >= seeds) continue;
        for (vtkIdType k = 0; k < n; ++k) {
            Point p;
            out->GetPoint(ids[k], p.data());
            lines[seed].push_back(p);
        }
    }
    return lines;
}
