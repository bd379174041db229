#include "tools/kavconvert/fields.h"

#include <vtkCellData.h>
#include <vtkCellDataToPointData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkSMPTools.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "tools/kavconvert/vtkmessages.h"

namespace kav {

namespace {

// What one flow variable is looked up as.
struct Wanted {
    const char* label;               // "density"
    std::vector<std::string> names;  // the names to try, in order
    int components;
    const char* hint;  // how the user names it instead
};

const char* const kMomentumHint =
    "Name one with --momentum NAME or --velocity NAME, or give --momentum-constant X,Y,Z.";
const Wanted kDensity{"density",
                      {"Density", "rho"},
                      1,
                      "Name one with --density NAME or give --density-constant VALUE."};
const Wanted kEnergy{"energy",
                     {"Energy", "rhoE"},
                     1,
                     "Name one with --energy NAME or give --energy-constant VALUE."};
const Wanted kMomentum{"momentum", {"Momentum", "rhoU"}, 3, kMomentumHint};
const Wanted kVelocity{"velocity", {"Velocity", "U"}, 3, kMomentumHint};

bool SameText(const std::string& a, const char* b) {
    size_t n = std::char_traits<char>::length(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The array called `name` in `data`: the one spelled exactly so, else the only one that
// matches in any case. Null when there is none.
vtkAbstractArray* FindByName(vtkDataSetAttributes* data, const std::string& name) {
    if (vtkAbstractArray* exact = data->GetAbstractArray(name.c_str())) return exact;
    vtkAbstractArray* found = nullptr;
    for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
        vtkAbstractArray* a = data->GetAbstractArray(i);
        if (!a || !a->GetName() || !SameText(name, a->GetName())) continue;
        if (found) {
            throw ConvertError("the arrays '" + std::string(found->GetName()) + "' and '" +
                               a->GetName() + "' both match '" + name +
                               "'; name the one to use exactly");
        }
        found = a;
    }
    return found;
}

std::string ArrayList(vtkDataSetAttributes* data) {
    std::string list;
    for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
        vtkAbstractArray* a = data->GetAbstractArray(i);
        if (!a) continue;
        if (!list.empty()) list += ", ";
        list += std::string("'") + (a->GetName() ? a->GetName() : "") + "' (" +
                std::to_string(a->GetNumberOfComponents()) + ")";
    }
    return list.empty() ? "none" : list;
}

vtkDataArray* Checked(vtkAbstractArray* a, const Wanted& w) {
    auto* numbers = vtkDataArray::SafeDownCast(a);
    if (!numbers) {
        throw ConvertError(std::string("the array '") + a->GetName() + "' for the " + w.label +
                           " does not hold numbers");
    }
    if (numbers->GetNumberOfComponents() != w.components) {
        throw ConvertError(std::string("the array '") + a->GetName() + "' for the " + w.label +
                           " has " + std::to_string(numbers->GetNumberOfComponents()) +
                           " components; it needs " + std::to_string(w.components));
    }
    return numbers;
}

// The array found for a variable, and whether it holds cell values.
struct Found {
    vtkDataArray* array = nullptr;
    bool onCells = false;
};

Found Find(vtkUnstructuredGrid* grid, const Wanted& w) {
    for (vtkDataSetAttributes* data : {static_cast<vtkDataSetAttributes*>(grid->GetPointData()),
                                       static_cast<vtkDataSetAttributes*>(grid->GetCellData())}) {
        for (const std::string& name : w.names) {
            if (vtkAbstractArray* a = FindByName(data, name)) {
                return Found{Checked(a, w), data == grid->GetCellData()};
            }
        }
    }
    return Found{};
}

[[noreturn]] void Missing(vtkUnstructuredGrid* grid, const std::string& what, const char* hint) {
    throw ConvertError("the grid has no " + what +
                       " array (point arrays: " + ArrayList(grid->GetPointData()) +
                       "; cell arrays: " + ArrayList(grid->GetCellData()) + "). " + hint);
}

// The array for a variable, under the user's `name` if given; throws naming the grid's
// arrays when there is none.
Found Require(vtkUnstructuredGrid* grid, Wanted w, const std::string& name) {
    if (!name.empty()) w.names = {name};
    Found f = Find(grid, w);
    if (!f.array) Missing(grid, name.empty() ? w.label : w.label + (" '" + name + "'"), w.hint);
    return f;
}

// The momentum: the array named by --momentum or --velocity, else by default a momentum
// array, else a velocity array.
Found RequireMomentum(vtkUnstructuredGrid* grid, const Options& o, bool* fromVelocity) {
    *fromVelocity = o.momentumFromVelocity;
    if (!o.momentum.name.empty())
        return Require(grid, *fromVelocity ? kVelocity : kMomentum, o.momentum.name);
    Found f = Find(grid, kMomentum);
    if (f.array) return f;
    *fromVelocity = true;
    f = Find(grid, kVelocity);
    if (!f.array) Missing(grid, "momentum or velocity", kMomentumHint);
    return f;
}

// The cell arrays, averaged to the points by VTK over the 3D cells only.
vtkSmartPointer<vtkPointData> CellValuesToPoints(vtkUnstructuredGrid* grid,
                                                 const CellSelection& cells,
                                                 const std::vector<vtkDataArray*>& arrays) {
    std::printf("-> Averaging cell values to the points\n");
    vtkSmartPointer<vtkUnstructuredGrid> source = grid;
    if (std::find(cells.kept.begin(), cells.kept.end(), 0) != cells.kept.end()) {
        std::vector<vtkIdType> ids;
        for (size_t i = 0; i < cells.kept.size(); ++i) {
            if (cells.kept[i]) ids.push_back(static_cast<vtkIdType>(i));
        }
        source = SubGrid(grid, ids);
        for (vtkDataArray* a : arrays) {
            vtkSmartPointer<vtkDataArray> part = vtk::TakeSmartPointer(a->NewInstance());
            part->SetName(a->GetName());
            part->SetNumberOfComponents(a->GetNumberOfComponents());
            part->SetNumberOfTuples(static_cast<vtkIdType>(ids.size()));
            for (size_t j = 0; j < ids.size(); ++j)
                part->SetTuple(static_cast<vtkIdType>(j), ids[j], a);
            source->GetCellData()->AddArray(part);
        }
    }
    vtkNew<vtkCellDataToPointData> average;
    average->SetInputData(source);
    average->ProcessAllArraysOff();
    for (vtkDataArray* a : arrays) average->AddCellDataArray(a->GetName());
    average->PassCellDataOff();
    VtkMessages* messages = VtkMessages::Install();
    messages->TakeError();
    // One thread: VTK's threaded averaging sums a point's cells in varying order, and the
    // same input must give the same bytes on every run.
    vtkSMPTools::LocalScope(vtkSMPTools::Config{std::string("Sequential")},
                            [&] { average->Update(); });
    std::string error = messages->TakeError();
    if (!error.empty()) throw ConvertError("VTK could not average the cell values: " + error);
    return vtkDataSet::SafeDownCast(average->GetOutputDataObject(0))->GetPointData();
}

std::string Origin(const Found& f) {
    return std::string(f.onCells ? "cell array '" : "point array '") + f.array->GetName() + "'" +
           (f.onCells ? " averaged to the points" : "");
}

}  // namespace

FlowSources ResolveFields(vtkUnstructuredGrid* grid, const CellSelection& cells,
                          const Options& options) {
    FlowSources out;
    FlowSource* targets[3] = {&out.density, &out.energy, &out.momentum};
    const FieldChoice* choices[3] = {&options.density, &options.energy, &options.momentum};
    Found found[3];
    for (int f = 0; f < 3; ++f) {
        if (choices[f]->isConstant) {
            std::copy(choices[f]->constant, choices[f]->constant + 3, targets[f]->constant);
            targets[f]->origin = "constant";
        } else if (f == 2) {
            found[f] = RequireMomentum(grid, options, &out.momentumFromVelocity);
        } else {
            found[f] = Require(grid, f == 0 ? kDensity : kEnergy, choices[f]->name);
        }
    }

    std::vector<vtkDataArray*> onCells;
    for (const Found& f : found) {
        if (f.array && f.onCells) onCells.push_back(f.array);
    }
    vtkSmartPointer<vtkPointData> averaged;
    if (!onCells.empty()) averaged = CellValuesToPoints(grid, cells, onCells);
    for (int f = 0; f < 3; ++f) {
        if (!found[f].array) continue;
        targets[f]->origin = Origin(found[f]);
        targets[f]->array =
            found[f].onCells ? averaged->GetArray(found[f].array->GetName()) : found[f].array;
        if (!targets[f]->array) throw ConvertError("VTK did not average the cell values");
    }
    return out;
}

}  // namespace kav
