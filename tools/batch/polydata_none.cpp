// Built when VTK is not found: no result can be written as .vtp.
#include "tools/batch/polydata.h"

namespace {

bool NoVtk(std::string* error) {
    *error = "this velmora-batch was built without VTK, so --out is not available";
    return false;
}

}  // namespace

bool WriteTrianglesVtp(const TriangleStore&, const std::string&, std::string* error) {
    return NoVtk(error);
}

bool WriteLinesVtp(const std::vector<PathLine>&, const std::string&, std::string* error) {
    return NoVtk(error);
}
