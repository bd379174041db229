#include "widgets/screenshot.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

const char kPrefix[] = "velmora-";
const char kSuffix[] = ".png";
const int kMaxDigits = 9;  // larger numbers are not the viewer's and would overflow
const long kLastNumber = 999999999;

// The number of a screenshot file name, or 0 for any other name.
long ScreenshotNumber(const std::string& name) {
    const size_t prefix = sizeof kPrefix - 1, suffix = sizeof kSuffix - 1;
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
        return 0;
    }
    const std::string digits = name.substr(prefix, name.size() - prefix - suffix);
    if (digits.size() < 4 || digits.size() > (size_t)kMaxDigits) return 0;
    long number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + (c - '0');
    }
    return number;
}

}  // namespace

bool NextScreenshotName(const std::string& folder, std::string& name, std::string& error) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    long highest = 0;
    for (; !ec && it != end; it.increment(ec)) {
        highest = std::max(highest, ScreenshotNumber(it->path().filename().string()));
    }
    if (ec) {
        error = "cannot list \"" + folder + "\": " + ec.message();
        return false;
    }
    if (highest >= kLastNumber) {
        error = "no screenshot number is left in \"" + folder + "\"";
        return false;
    }
    char text[32];
    snprintf(text, sizeof text, "%s%04ld%s", kPrefix, highest + 1, kSuffix);
    name = text;
    return true;
}

void ReadFramebuffer(int width, int height, RgbImage& image) {
    image.width = std::max(width, 0);
    image.height = std::max(height, 0);
    image.pixels.assign(3 * (size_t)image.width * (size_t)image.height, 0);
    if (image.pixels.empty()) return;
    glPushAttrib(GL_PIXEL_MODE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, image.pixels.data());
    glPopClientAttrib();
    glPopAttrib();
}
