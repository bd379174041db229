#include "tools/kavconvert/vtkinput.h"

#include <vtkAlgorithm.h>
#include <vtkAppendFilter.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkCompositeDataSet.h>
#include <vtkDataObjectTreeIterator.h>
#include <vtkDataSet.h>
#include <vtkDataSetReader.h>
#include <vtkInformation.h>
#include <vtkMultiBlockDataSet.h>
#include <vtkXMLMultiBlockDataReader.h>
#include <vtkXMLPUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridReader.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "tools/kavconvert/mesh.h"
#include "tools/kavconvert/progress.h"
#include "tools/kavconvert/vtkmessages.h"

namespace kav {

namespace {

// Readers report progress for files at least this large (bytes).
const uintmax_t kLargeFile = 64u << 20;

std::string LowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

void OnProgress(vtkObject* caller, unsigned long, void* clientData, void*) {
    auto* progress = static_cast<Progress*>(clientData);
    progress->Update(
        static_cast<uint64_t>(1000 * static_cast<vtkAlgorithm*>(caller)->GetProgress()));
}

// Runs a reader and returns its output, or throws with the first error that VTK reported.
vtkDataObject* Run(vtkAlgorithm* reader, const std::string& path, uintmax_t bytes) {
    VtkMessages* messages = VtkMessages::Install();
    messages->TakeError();
    Progress progress("Reading " + path, 1000, bytes >= kLargeFile);
    vtkNew<vtkCallbackCommand> callback;
    callback->SetCallback(OnProgress);
    callback->SetClientData(&progress);
    reader->AddObserver(vtkCommand::ProgressEvent, callback);
    reader->Update();
    progress.Finish();
    std::string error = messages->TakeError();
    if (!error.empty() || reader->GetErrorCode() != 0)
        throw ConvertError("cannot read " + path + ": " +
                           (error.empty() ? "VTK's reader failed" : error));
    vtkDataObject* out = reader->GetOutputDataObject(0);
    if (!out) throw ConvertError("cannot read " + path + ": VTK's reader produced nothing");
    return out;
}

// Structured and image data become an unstructured grid with the same point numbering.
vtkSmartPointer<vtkUnstructuredGrid> AsUnstructured(vtkDataSet* data) {
    if (auto* grid = vtkUnstructuredGrid::SafeDownCast(data)) return grid;
    vtkNew<vtkAppendFilter> convert;
    convert->SetInputData(data);
    convert->Update();
    return convert->GetOutput();
}

vtkSmartPointer<vtkUnstructuredGrid> ReadLegacy(const std::string& path, uintmax_t bytes) {
    vtkNew<vtkDataSetReader> reader;
    reader->SetFileName(path.c_str());
    VtkMessages::Install()->TakeError();
    if (reader->ReadOutputType() < 0) {
        std::string error = VtkMessages::Install()->TakeError();
        throw ConvertError("cannot read " + path + ": " +
                           (error.empty() ? "it holds no legacy VTK dataset" : error));
    }
    reader->ReadAllScalarsOn();
    reader->ReadAllVectorsOn();
    reader->ReadAllNormalsOn();
    reader->ReadAllTensorsOn();
    reader->ReadAllFieldsOn();
    auto* data = vtkDataSet::SafeDownCast(Run(reader, path, bytes));
    if (!data) throw ConvertError("cannot read " + path + ": it holds no VTK dataset");
    return AsUnstructured(data);
}

template <typename Reader>
vtkSmartPointer<vtkUnstructuredGrid> ReadXml(const std::string& path, uintmax_t bytes) {
    vtkNew<Reader> reader;
    reader->SetFileName(path.c_str());
    auto* grid = vtkUnstructuredGrid::SafeDownCast(Run(reader, path, bytes));
    if (!grid) throw ConvertError("cannot read " + path + ": it holds no unstructured grid");
    return grid;
}

// The leaves of a multiblock file: polygon data are named patches, the rest the volume.
InputData ReadMultiBlock(const std::string& path, uintmax_t bytes) {
    vtkNew<vtkXMLMultiBlockDataReader> reader;
    reader->SetFileName(path.c_str());
    auto* blocks = vtkMultiBlockDataSet::SafeDownCast(Run(reader, path, bytes));
    if (!blocks) throw ConvertError("cannot read " + path + ": it holds no multiblock dataset");
    InputData input;
    vtkSmartPointer<vtkDataObjectTreeIterator> leaf;
    leaf.TakeReference(blocks->NewTreeIterator());
    leaf->VisitOnlyLeavesOn();
    leaf->SkipEmptyNodesOn();
    int number = 0;
    for (leaf->InitTraversal(); !leaf->IsDoneWithTraversal(); leaf->GoToNextItem()) {
        ++number;
        auto* data = vtkDataSet::SafeDownCast(leaf->GetCurrentDataObject());
        if (!data) continue;
        if (auto* poly = vtkPolyData::SafeDownCast(data)) {
            vtkInformation* meta =
                leaf->HasCurrentMetaData() ? leaf->GetCurrentMetaData() : nullptr;
            const char* name = meta ? meta->Get(vtkCompositeDataSet::NAME()) : nullptr;
            input.patches.push_back(
                {name && *name ? name : "block " + std::to_string(number), poly});
        } else {
            input.pieces.push_back(AsUnstructured(data));
        }
    }
    if (input.pieces.empty()) {
        throw ConvertError("cannot read " + path +
                           ": the multiblock file holds no volume (no unstructured grid among "
                           "its " +
                           std::to_string(number) + " blocks)");
    }
    return input;
}

}  // namespace

InputData ReadInput(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw ConvertError("cannot read " + path + ": no such file");
    if (!std::ifstream(path)) throw ConvertError("cannot read " + path + ": permission denied");
    uintmax_t bytes = std::filesystem::file_size(path, ec);
    std::string ext = LowerExtension(path);
    InputData input;
    if (ext == ".vtk") {
        input.pieces.push_back(ReadLegacy(path, bytes));
    } else if (ext == ".vtu") {
        input.pieces.push_back(ReadXml<vtkXMLUnstructuredGridReader>(path, bytes));
    } else if (ext == ".pvtu") {
        input.pieces.push_back(ReadXml<vtkXMLPUnstructuredGridReader>(path, bytes));
    } else if (ext == ".vtm" || ext == ".vtmb") {
        input = ReadMultiBlock(path, bytes);
    } else {
        throw ConvertError("cannot read " + path +
                           ": the name must end in .vtk, .vtu, .pvtu (VTK unstructured grids), "
                           ".vtm or .vtmb (VTK multiblock data)");
    }
    return input;
}

}  // namespace kav
