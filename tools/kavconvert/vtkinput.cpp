#include "tools/kavconvert/vtkinput.h"

#include <vtkAlgorithm.h>
#include <vtkAppendFilter.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkDataSet.h>
#include <vtkDataSetReader.h>
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
    if (auto* grid = vtkUnstructuredGrid::SafeDownCast(data)) return grid;
    // Structured and image data become an unstructured grid with the same point numbering.
    vtkNew<vtkAppendFilter> convert;
    convert->SetInputData(data);
    convert->Update();
    return convert->GetOutput();
}

template <typename Reader>
vtkSmartPointer<vtkUnstructuredGrid> ReadXml(const std::string& path, uintmax_t bytes) {
    vtkNew<Reader> reader;
    reader->SetFileName(path.c_str());
    auto* grid = vtkUnstructuredGrid::SafeDownCast(Run(reader, path, bytes));
    if (!grid) throw ConvertError("cannot read " + path + ": it holds no unstructured grid");
    return grid;
}

}  // namespace

vtkSmartPointer<vtkUnstructuredGrid> ReadGrid(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw ConvertError("cannot read " + path + ": no such file");
    if (!std::ifstream(path)) throw ConvertError("cannot read " + path + ": permission denied");
    uintmax_t bytes = std::filesystem::file_size(path, ec);
    std::string ext = LowerExtension(path);
    if (ext == ".vtk") return ReadLegacy(path, bytes);
    if (ext == ".vtu") return ReadXml<vtkXMLUnstructuredGridReader>(path, bytes);
    if (ext == ".pvtu") return ReadXml<vtkXMLPUnstructuredGridReader>(path, bytes);
    throw ConvertError("cannot read " + path +
                       ": the name must end in .vtk, .vtu or .pvtu (VTK unstructured grids)");
}

}  // namespace kav
