// meshcheck: measures a folder of the viewer's files against the VTK data it was converted
// from (see meshcheck.h), and optionally runs the conversion first under /usr/bin/time.
//
//   meshcheck ORIGINAL KAVDIR [--up x|y|z] [--points N] [--lines N] [--seed S]
//             [--convert "KAVCONVERT OPTIONS"]

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tools/meshcheck/meshcheck.h"

namespace {

const char* const kUsage =
    "usage: meshcheck ORIGINAL KAVDIR [--up x|y|z] [--points N] [--lines N] [--seed S]\n"
    "                 [--convert \"KAVCONVERT OPTIONS\"]\n"
    "  ORIGINAL  the VTK data (.vtk, .vtu, .pvtu, .vtm) that KAVDIR was converted from\n"
    "  --convert runs 'kavconvert ORIGINAL KAVDIR OPTIONS' under /usr/bin/time -v first\n"
    "            and reports its time and peak memory\n";

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The rest of the line of `text` that follows `label`; empty when there is none.
std::string After(const std::string& text, const std::string& label) {
    size_t at = text.find(label);
    if (at == std::string::npos) return "";
    at += label.size();
    return text.substr(at, text.find('\n', at) - at);
}

// Runs the conversion under /usr/bin/time -v; prints its closing report, time and memory.
bool Convert(const std::string& original, const std::string& kavdir, const std::string& args) {
    std::string command = "/usr/bin/time -v " + Quote(KAVCONVERT) + " " + Quote(original) + " " +
                          Quote(kavdir) + " " + args + " 2>&1";
    std::printf("$ kavconvert %s %s %s\n", original.c_str(), kavdir.c_str(), args.c_str());
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    size_t report = output.find("Conversion report");
    if (report != std::string::npos) {
        size_t end = output.find("\tCommand being timed", report);
        std::printf("%s", output.substr(report, end - report).c_str());
    }
    std::string wall = After(output, "Elapsed (wall clock) time (h:mm:ss or m:ss): ");
    std::string rss = After(output, "Maximum resident set size (kbytes): ");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || wall.empty() || rss.empty()) {
        std::fprintf(stderr, "meshcheck: the conversion failed:\n%s", output.c_str());
        return false;
    }
    std::printf("kavconvert:               %s wall clock (h:mm:ss or m:ss), peak memory %.1f MiB\n",
                wall.c_str(), std::strtod(rss.c_str(), nullptr) / 1024);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    meshcheck::CheckOptions o;
    std::string operands[2], convert;
    int count = 0;
    bool converting = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool valued = arg == "--up" || arg == "--points" || arg == "--lines" || arg == "--seed" ||
                      arg == "--convert";
        if (valued && i + 1 < argc) {
            std::string value = argv[++i];
            if (arg == "--up") o.up = value == "x" ? 0 : value == "z" ? 2 : 1;
            if (arg == "--points") o.points = std::strtoull(value.c_str(), nullptr, 10);
            if (arg == "--lines") o.lines = std::atoi(value.c_str());
            if (arg == "--seed")
                o.seed = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
            if (arg == "--convert") convert = value, converting = true;
        } else if (arg[0] != '-' && count < 2) {
            operands[count++] = arg;
        } else {
            std::fprintf(stderr, "%s", kUsage);
            return 2;
        }
    }
    if (count != 2) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    if (converting && !Convert(operands[0], operands[1], convert)) return 1;
    try {
        meshcheck::Report r = meshcheck::Check(operands[0], operands[1], o);
        meshcheck::Print(r, stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "meshcheck: %s\n", e.what());
        return 1;
    }
    return 0;
}
