// Reading back the PNG files the viewer writes, for comparisons in the tests.
#pragma once

#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "widgets/pngfile.h"

// Reads an 8-bit PNG into image as RGB. libpng hands the rows over top row first, as the
// file stores them; they are turned here, apart from the writer's own row order, so that the
// bottom row comes first as in RgbImage. False with libpng's reason in error.
inline bool ReadPng(const std::string& path, RgbImage& image, std::string& error) {
    png_image png;
    memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> topDown(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, topDown.data(), 0, nullptr)) {
        error = png.message;
        png_image_free(&png);
        return false;
    }
    image.width = (int)png.width;
    image.height = (int)png.height;
    const size_t row = 3 * (size_t)image.width;
    image.pixels.resize(topDown.size());
    for (int y = 0; y < image.height; ++y) {
        memcpy(&image.pixels[row * y], &topDown[row * (image.height - 1 - y)], row);
    }
    return true;
}
