#include "widgets/pngfile.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Tries a few names beside path for the temporary file; another writer may hold one.
const int kTempTries = 16;

// Opens a fresh temporary file beside path for writing; null with a reason on failure.
FILE* OpenTemporary(const std::string& path, std::string& temp, std::string& error) {
    for (int i = 0; i < kTempTries; ++i) {
        temp = path + "." + std::to_string(getpid()) + "-" + std::to_string(i) + ".tmp";
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FILE* file = fdopen(fd, "wb");
            if (file) return file;
            error = std::string("cannot write \"") + temp + "\": " + strerror(errno);
            close(fd);
            unlink(temp.c_str());
            return nullptr;
        }
        if (errno != EEXIST) {
            error = std::string("cannot write \"") + path + "\": " + strerror(errno);
            return nullptr;
        }
    }
    error = "cannot write \"" + path + "\": no free temporary name beside it";
    return nullptr;
}

// Encodes the image into an open file and closes it; false with a reason on failure.
bool EncodeAndClose(FILE* file, const std::string& temp, const RgbImage& image,
                    std::string& error) {
    png_image png;
    memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = (png_uint_32)image.width;
    png.height = (png_uint_32)image.height;
    png.format = PNG_FORMAT_RGB;
    // A negative stride tells libpng that the bottom row comes first.
    const png_int_32 stride = -(png_int_32)(3 * image.width);
    bool ok = png_image_write_to_stdio(&png, file, 0, image.pixels.data(), stride, nullptr) != 0;
    if (!ok) error = "cannot encode \"" + temp + "\": " + png.message;
    png_image_free(&png);
    if (ok && (fflush(file) != 0 || fsync(fileno(file)) != 0)) {
        error = std::string("cannot write \"") + temp + "\": " + strerror(errno);
        ok = false;
    }
    if (fclose(file) != 0 && ok) {
        error = std::string("cannot write \"") + temp + "\": " + strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace

bool WritePng(const std::string& path, const RgbImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0 || image.width > INT_MAX / 3 ||
        image.pixels.size() != 3 * (size_t)image.width * (size_t)image.height) {
        error = "cannot write \"" + path + "\": the picture is empty or its size is wrong";
        return false;
    }
    std::string temp;
    FILE* file = OpenTemporary(path, temp, error);
    if (!file) return false;
    if (!EncodeAndClose(file, temp, image, error)) {
        unlink(temp.c_str());
        return false;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        error = std::string("cannot write \"") + path + "\": " + strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}
