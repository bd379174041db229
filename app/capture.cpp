#include "app/capture.h"

#include <cstdio>

#include "widgets/screenshot.h"

bool SaveWindowPicture(int width, int height, const std::string& path, std::string& error) {
    RgbImage image;
    ReadFramebuffer(width, height, image);
    return WritePng(path, image, error);
}

void SaveScreenshot(int width, int height) {
    std::string name, error;
    if (!NextScreenshotName(".", name, error) || !SaveWindowPicture(width, height, name, error)) {
        fflush(stdout);
        fprintf(stderr, "ERROR: %s\n", error.c_str());
        return;
    }
    printf("Saved \"%s\"\n", name.c_str());
}
