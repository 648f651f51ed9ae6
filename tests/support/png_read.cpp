#include "tests/support/png_read.h"

#include <png.h>

#include <cstring>

RgbImage ReadPng(const std::filesystem::path& path)
{
    RgbImage result;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return result;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return result;
    }
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);
    result.rgb = std::move(rgb);
    return result;
}
