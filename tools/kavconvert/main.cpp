// kavconvert: converts VTK unstructured grids to the viewer's files and back.
//
//   kavconvert INPUT OUTDIR [options]
//   kavconvert --list-patches INPUT
//   kavconvert --to-vtu KAVDIR OUTPUT.vtu
//   kavconvert --to-vtp KAVDIR OUTPUT.vtp
//
// Exits with 0 on success and 1 after a failure, which leaves no output file behind.

#include <cstdio>
#include <new>

#include "tools/kavconvert/convert.h"

int main(int argc, char** argv) {
    try {
        kav::Options o = kav::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        switch (o.mode) {
            case kav::Options::kHelp:
                std::printf("%s\n", kav::Usage());
                break;
            case kav::Options::kToKav:
                kav::ConvertToKav(o);
                break;
            case kav::Options::kToVtu:
                kav::ConvertToVtu(o);
                break;
            case kav::Options::kToVtp:
                kav::ConvertToVtp(o);
                break;
            case kav::Options::kListPatches:
                kav::ListPatches(o);
                break;
        }
    } catch (const kav::ConvertError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "kavconvert: %s\n", e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "kavconvert: out of memory\n");
        return 1;
    }
    return 0;
}
