// Screenshots of the viewer's window: the picture read back from OpenGL and a free file name
// for it.
#pragma once

#include <string>

#include "widgets/pngfile.h"

// The file name one past the highest number among the folder's "velmora-NNNN.png" files
// (four digits or more), "velmora-0001.png" in a folder without any; numbers thus follow the
// order of saving even after some files are deleted. False with a reason in error when the
// folder cannot be listed or the numbers run out.
bool NextScreenshotName(const std::string& folder, std::string& name, std::string& error);

// Reads width x height pixels of the current context's back buffer from the bottom-left
// corner. Called after a frame is drawn and before the buffers are swapped, it gets exactly
// the picture about to be shown, panels included, whatever covers the window on the screen.
void ReadFramebuffer(int width, int height, RgbImage& image);
