// Pictures of the window as the user sees it, panels and overlays included, read back from
// the frame just drawn (after the scene is rendered, before the buffers are swapped).
#pragma once

#include <string>

// Saves the window's pixels to `path` as PNG; false with a one-line reason in error.
bool SaveWindowPicture(int width, int height, const std::string& path, std::string& error);

// The p key: saves the window as the next free velmora-NNNN.png in the data folder (the
// working directory) and prints `Saved "velmora-NNNN.png"`, or one ERROR line on stderr.
void SaveScreenshot(int width, int height);
