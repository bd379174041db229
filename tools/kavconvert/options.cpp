#include "tools/kavconvert/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tools/kavconvert/mesh.h"

namespace kav {

namespace {

[[noreturn]] void Refuse(const std::string& problem) {
    throw ConvertError(problem + "\n" + Usage());
}

double ParseNumber(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        Refuse(option + " needs a finite number, not '" + text + "'");
    return value;
}

// "X,Y,Z" for a constant vector.
void ParseVector(const std::string& option, const std::string& text, double* out) {
    size_t start = 0;
    for (int k = 0; k < 3; ++k) {
        size_t comma = text.find(',', start);
        bool last = k == 2;
        if (last != (comma == std::string::npos))
            Refuse(option + " needs X,Y,Z, not '" + text + "'");
        out[k] = ParseNumber(option, text.substr(start, last ? std::string::npos : comma - start));
        start = comma + 1;
    }
}

void SetName(const std::string& option, const std::string& value, FieldChoice* field) {
    if (!field->name.empty() || field->isConstant) Refuse(option + ": this field is already given");
    if (value.empty()) Refuse(option + " needs an array name");
    field->name = value;
}

void SetConstant(const std::string& option, const std::string& value, FieldChoice* field,
                 bool vector) {
    if (!field->name.empty() || field->isConstant) Refuse(option + ": this field is already given");
    field->isConstant = true;
    if (vector) {
        ParseVector(option, value, field->constant);
    } else {
        field->constant[0] = ParseNumber(option, value);
    }
}

int ParseAxis(const std::string& value) {
    if (value == "x" || value == "X") return 0;
    if (value == "y" || value == "Y") return 1;
    if (value == "z" || value == "Z") return 2;
    Refuse("--up needs x, y or z, not '" + value + "'");
}

uint32_t ParseBlockSize(const std::string& value) {
    errno = 0;
    char* end = nullptr;
    unsigned long long n = std::strtoull(value.c_str(), &end, 10);
    if (value.empty() || value[0] == '-' || *end != '\0' || errno == ERANGE || n == 0 ||
        n > kMaxCount) {
        Refuse("--block-size needs a whole number from 1 to " + std::to_string(kMaxCount));
    }
    return static_cast<uint32_t>(n);
}

// "A,B,C" to the patterns of one surface.
void AddPatterns(const std::string& option, const std::string& value,
                 std::vector<std::string>* patterns) {
    size_t start = 0;
    while (true) {
        size_t comma = value.find(',', start);
        std::string pattern =
            value.substr(start, comma == std::string::npos ? comma : comma - start);
        if (pattern.empty()) Refuse(option + " needs patch name patterns separated by commas");
        patterns->push_back(pattern);
        if (comma == std::string::npos) return;
        start = comma + 1;
    }
}

// Applies one option that takes a value; false when `option` is not one of them.
bool ApplyValueOption(const std::string& option, const std::string& value, Options* o) {
    if (option == "--density") {
        SetName(option, value, &o->density);
    } else if (option == "--energy") {
        SetName(option, value, &o->energy);
    } else if (option == "--momentum" || option == "--velocity") {
        SetName(option, value, &o->momentum);
        o->momentumFromVelocity = option == "--velocity";
    } else if (option == "--density-constant") {
        SetConstant(option, value, &o->density, false);
    } else if (option == "--energy-constant") {
        SetConstant(option, value, &o->energy, false);
    } else if (option == "--momentum-constant") {
        SetConstant(option, value, &o->momentum, true);
    } else if (option == "--up") {
        o->up = ParseAxis(value);
    } else if (option == "--block-size") {
        o->blockSize = ParseBlockSize(value);
    } else if (option == "--walls") {
        AddPatterns(option, value, &o->patterns[kSurfaceWalls]);
    } else if (option == "--ceiling") {
        AddPatterns(option, value, &o->patterns[kSurfaceCeiling]);
    } else if (option == "--buildings") {
        AddPatterns(option, value, &o->patterns[kSurfaceCity]);
    } else if (option == "--floor") {
        AddPatterns(option, value, &o->patterns[kSurfaceFloor]);
    } else {
        return false;
    }
    return true;
}

}  // namespace

const char* Usage() {
    return "usage:\n"
           "  kavconvert INPUT OUTDIR [options]      VTK data (.vtk, .vtu, .pvtu, .vtm, .vtmb) to\n"
           "                                         OUTDIR/volume.kav and OUTDIR/surface-1.kav "
           "..\n"
           "                                         surface-4.kav\n"
           "  kavconvert --list-patches INPUT        the named boundary patches of a .vtm file\n"
           "  kavconvert --to-vtu KAVDIR OUTPUT.vtu  the volume of KAVDIR as an unstructured grid\n"
           "  kavconvert --to-vtp KAVDIR OUTPUT.vtp  the four surfaces of KAVDIR as polygons\n"
           "options of the first form:\n"
           "  --density NAME | --density-constant VALUE\n"
           "  --energy NAME | --energy-constant VALUE\n"
           "  --momentum NAME | --velocity NAME | --momentum-constant X,Y,Z\n"
           "      the arrays to read (names match in any case); by default Density or rho,\n"
           "      Energy or rhoE, Momentum or rhoU, else Velocity or U times the density\n"
           "  --up x|y|z        the input's up axis (default y); it ends up along y\n"
           "  --block-size N    the most tetrahedra in one block (default 8192)\n"
           "  --buildings P[,P...] | --floor P,.. | --ceiling P,.. | --walls P,..\n"
           "      the patches whose faces make that surface, by shell patterns of their names\n"
           "      (as --list-patches shows them); faces of no named patch go by position:\n"
           "      floor and ceiling at the lowest and highest y, walls on the other sides of\n"
           "      the bounding box, buildings elsewhere";
}

Options ParseOptions(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string> operands;
    bool conversionOption = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            o.mode = Options::kHelp;
            return o;
        }
        if (arg == "--to-vtu" || arg == "--to-vtp" || arg == "--list-patches") {
            if (o.mode != Options::kToKav)
                Refuse("give only one of --to-vtu, --to-vtp and --list-patches");
            o.mode = arg == "--to-vtu"   ? Options::kToVtu
                     : arg == "--to-vtp" ? Options::kToVtp
                                         : Options::kListPatches;
        } else if (arg.size() > 1 && arg[0] == '-') {
            if (i + 1 >= args.size()) Refuse(arg + " needs a value");
            if (!ApplyValueOption(arg, args[i + 1], &o)) Refuse("unknown option '" + arg + "'");
            conversionOption = true;
            ++i;
        } else {
            operands.push_back(arg);
        }
    }
    if (o.mode != Options::kToKav && conversionOption)
        Refuse("the field, --up, --block-size and patch options apply only to the first form");
    if (o.mode == Options::kListPatches) {
        if (operands.size() != 1) Refuse("--list-patches takes one input");
        o.input = operands[0];
        return o;
    }
    if (operands.size() != 2) Refuse("give one input and one output");
    o.input = operands[0];
    o.output = operands[1];
    return o;
}

}  // namespace kav
