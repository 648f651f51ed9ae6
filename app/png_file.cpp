#include "app/png_file.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Failure(const std::string& path, const char* reason)
{
    return "cannot write '" + path + "': " + reason;
}

// Opens a private temporary file beside path; returns its descriptor and name, or -1.
int OpenTempBeside(const std::string& path, std::string& temp)
{
    temp = path + ".tmp-XXXXXX";
    return mkstemp(temp.data());
}

}  // namespace

std::string CheckPngWritable(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Failure(path, std::strerror(EISDIR));
    std::string temp;
    const int fd = OpenTempBeside(path, temp);
    if (fd < 0)
        return Failure(path, std::strerror(errno));
    close(fd);
    unlink(temp.c_str());
    return {};
}

std::string WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgbBottomUp)
{
    if (width <= 0 || height <= 0 || rgbBottomUp.size() != static_cast<std::size_t>(width) * height * 3)
        return Failure(path, "the picture has no pixels");

    std::string temp;
    const int fd = OpenTempBeside(path, temp);
    if (fd < 0)
        return Failure(path, std::strerror(errno));
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        const int err = errno;
        close(fd);
        unlink(temp.c_str());
        return Failure(path, std::strerror(err));
    }
    // mkstemp makes the file private; a picture is for everyone to see, as with any new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // A negative stride tells libpng the rows are stored bottom-up.
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    const bool written = png_image_write_to_stdio(&image, file, 0, rgbBottomUp.data(), stride, nullptr) != 0;
    const std::string pngError = image.message;
    png_image_free(&image);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int err = errno;
        unlink(temp.c_str());
        return Failure(path, !written ? pngError.c_str() : std::strerror(err));
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        return Failure(path, std::strerror(err));
    }
    return {};
}
