#include "app/options.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "widgets/keybindings.h"

namespace {

// The options that take a value; a new one is a row here and a field in Options.
struct ValueOption {
    const char* name;
    const char* value;
    const char* help;
    std::string Options::*field;
};

const ValueOption kValueOptions[] = {
    {"--screenshot", "FILE", "draw the start view, save it to FILE as PNG and exit",
     &Options::screenshotFile},
    {"--connect", "HOST:PORT",
     "have the velmora-server at HOST:PORT compute isosurfaces and path lines; only the\n"
     "                      surfaces are read from DATADIR",
     &Options::connect},
    {"--token-file", "FILE", "the token of a server that asks for one (with --connect)",
     &Options::tokenFile},
};

const char kSynopsis[] =
    "Usage: velmora [DATADIR]\n"
    "       velmora --screenshot FILE [DATADIR]\n"
    "       velmora --connect HOST:PORT [--token-file FILE] [DATADIR]\n"
    "       velmora --help\n"
    "\n"
    "Shows the air flow around a city. The data are read from DATADIR (default: the\n"
    "working directory): volume.kav and surface-1.kav to surface-4.kav. Screenshots\n"
    "taken with p are saved there too.\n";

OptionsResult Exit(int status, std::string out, std::string err) {
    OptionsResult r;
    r.status = status;
    r.out = std::move(out);
    r.err = std::move(err);
    return r;
}

OptionsResult UsageError(const std::string& problem) {
    return Exit(2, "", "velmora: " + problem + "\n\n" + UsageText());
}

const ValueOption* FindValueOption(const std::string& name) {
    for (const ValueOption& o : kValueOptions) {
        if (name == o.name) return &o;
    }
    return nullptr;
}

std::string Padded(std::string text, size_t width) {
    text.resize(std::max(text.size() + 2, width), ' ');
    return text;
}

}  // namespace

std::string UsageText() {
    std::string text = kSynopsis;
    text += "\nOptions:\n";
    for (const ValueOption& o : kValueOptions) {
        text += "  " + Padded(std::string(o.name) + " " + o.value, 20) + o.help + "\n";
    }
    text += "  " + Padded("-h, --help", 20) + "show this help and exit\n";
    text += "\nMouse and keys:\n";
    for (const Binding& b : kBindings) text += "  " + Padded(b.input, 20) + b.action + "\n";
    text += std::string(kDragNote) + "\n";
    return text;
}

OptionsResult ParseOptions(int argc, const char* const* argv) {
    OptionsResult result;
    bool optionsEnd = false, haveDir = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (arg == "--help" || arg == "-h")) {
            return Exit(0, UsageText(), "");
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            const size_t equals = arg.find('=');
            const ValueOption* o = FindValueOption(arg.substr(0, equals));
            if (!o) return UsageError("unknown option \"" + arg + "\"");
            std::string value;
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (value.empty()) return UsageError(std::string(o->name) + " needs a " + o->value);
            result.options.*(o->field) = value;
        } else if (haveDir) {
            return UsageError("one DATADIR only, but \"" + arg + "\" follows \"" +
                              result.options.dataDir + "\"");
        } else {
            result.options.dataDir = arg;
            haveDir = true;
        }
    }
    if (!result.options.tokenFile.empty() && result.options.connect.empty())
        return UsageError("--token-file goes with --connect");
    const std::string& dir = result.options.dataDir;
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(dir, ec);
    if (st.type() == std::filesystem::file_type::not_found) {
        return Exit(2, "", "ERROR: data folder \"" + dir + "\" does not exist\n");
    }
    if (ec) {
        return Exit(2, "",
                    "ERROR: cannot reach data folder \"" + dir + "\": " + ec.message() + "\n");
    }
    if (!std::filesystem::is_directory(st)) {
        return Exit(2, "", "ERROR: \"" + dir + "\" is not a folder\n");
    }
    result.run = true;
    return result;
}

bool EnterDataFolder(Options& options, std::string& error) {
    std::error_code ec;
    if (!options.screenshotFile.empty()) {
        options.screenshotFile = std::filesystem::absolute(options.screenshotFile, ec).string();
    }
    if (!ec && !options.tokenFile.empty()) {
        options.tokenFile = std::filesystem::absolute(options.tokenFile, ec).string();
    }
    if (!ec) std::filesystem::current_path(options.dataDir, ec);
    if (ec) {
        error =
            "ERROR: cannot enter data folder \"" + options.dataDir + "\": " + ec.message() + "\n";
        return false;
    }
    return true;
}
