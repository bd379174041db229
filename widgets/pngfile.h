// Pictures saved as PNG files: 8-bit RGB, rows kept bottom-up as OpenGL reads them.
#pragma once

#include <string>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    // 3 bytes (R, G, B) per pixel, rows left to right, the bottom row first.
    std::vector<unsigned char> pixels;
};

// Writes the image to path as an 8-bit RGB PNG with the top row first (as viewers show
// it). The data goes to a new temporary file beside path that is renamed over path once
// complete, so a failed write never leaves a partial file under the name. On failure
// returns false with a one-line reason in error; path is then untouched.
bool WritePng(const std::string& path, const RgbImage& image, std::string& error);
