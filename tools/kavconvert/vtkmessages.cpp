#include "tools/kavconvert/vtkmessages.h"

#include <vtkLogger.h>
#include <vtkObjectFactory.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <regex>

namespace kav {

vtkStandardNewMacro(VtkMessages);

VtkMessages* VtkMessages::Install() {
    static vtkSmartPointer<VtkMessages> instance;
    if (!instance) {
        instance = vtkSmartPointer<VtkMessages>::New();
        vtkOutputWindow::SetInstance(instance);
        // VTK's logger would print the same messages once more, with colours and timestamps.
        vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
    }
    return instance;
}

void VtkMessages::DisplayText(const char* text) {
    std::fprintf(stderr, "%s", text);
}

void VtkMessages::DisplayErrorText(const char* text) {
    if (firstError.empty()) firstError = PlainVtkMessage(text);
}

void VtkMessages::DisplayWarningText(const char* text) {
    // VTK's legacy reader only warns when data end early or do not parse, and then carries
    // on with what it has; such a warning must fail the step like an error.
    std::string message = PlainVtkMessage(text);
    if (message.find("rror") != std::string::npos) {
        DisplayErrorText(text);
        return;
    }
    std::fprintf(stderr, "kavconvert: warning from VTK: %s\n", message.c_str());
}

void VtkMessages::DisplayGenericWarningText(const char* text) {
    DisplayWarningText(text);
}

std::string VtkMessages::TakeError() {
    std::string e;
    e.swap(firstError);
    return e;
}

std::string PlainVtkMessage(const std::string& text) {
    std::string s = text;
    // Past the "ERROR: In file, line n" line, then past the "vtkClass (0x...): " prefix.
    size_t newline = s.find('\n');
    if (s.rfind("ERROR: In ", 0) == 0 || s.rfind("Warning: In ", 0) == 0 ||
        s.rfind("Generic Warning: In ", 0) == 0) {
        if (newline != std::string::npos) s = s.substr(newline + 1);
    }
    size_t prefix = s.find("): ");
    if (prefix != std::string::npos && s.rfind("vtk", 0) == 0) s = s.substr(prefix + 3);
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
    for (char& c : s) {
        if (c == '\n') c = ' ';
    }
    // Object addresses mean nothing to the user.
    s = std::regex_replace(s, std::regex(R"(\(0x[0-9a-fA-F]+\))"), "");
    return s.empty() ? text : s;
}

}  // namespace kav
