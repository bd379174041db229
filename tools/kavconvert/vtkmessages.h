// Catches what VTK would print about errors, so that a failed read or write reaches the user
// as one clear line instead of VTK's source-file trace. Warnings that report an error in the
// data count as errors.
#pragma once

#include <vtkOutputWindow.h>

#include <string>

namespace kav {

class VtkMessages : public vtkOutputWindow {
public:
    static VtkMessages* New();
    vtkTypeMacro(VtkMessages, vtkOutputWindow);

    // Makes one instance VTK's output window for the rest of the process and returns it.
    static VtkMessages* Install();

    void DisplayText(const char* text) override;
    void DisplayErrorText(const char* text) override;
    void DisplayWarningText(const char* text) override;
    void DisplayGenericWarningText(const char* text) override;

    // The first error reported since the last call, without VTK's file and line; empty
    // when there was none.
    std::string TakeError();

protected:
    VtkMessages() = default;

private:
    std::string firstError;
};

// VTK's own message out of one of its error or warning texts ("ERROR: In file, line n\n
// vtkClass (0x...): message").
std::string PlainVtkMessage(const std::string& text);

}  // namespace kav
