#include "export/picture_encode.h"

#include <png.h>

#include <cstring>

std::string EncodePng(int width, int height, int channels, const std::vector<std::uint8_t>& pixelsBottomUp,
                      std::vector<unsigned char>& png)
{
    if (width <= 0 || height <= 0 || (channels != 3 && channels != 4) ||
        pixelsBottomUp.size() != static_cast<std::size_t>(width) * height * channels)
        return "the picture has no pixels";
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    // zlib's fastest level: the picture is a little larger and made several times faster.
    image.flags = PNG_IMAGE_FLAG_FAST;
    // A negative stride tells libpng the rows are stored bottom-up.
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    png_alloc_size_t size = 0;
    bool ok = png_image_write_get_memory_size(image, size, 0, pixelsBottomUp.data(), stride, nullptr) != 0;
    if (ok) {
        png.resize(size);
        ok = png_image_write_to_memory(&image, png.data(), &size, 0, pixelsBottomUp.data(), stride, nullptr) != 0;
        png.resize(size);
    }
    std::string message = ok ? std::string() : std::string(image.message);
    png_image_free(&image);
    return message;
}
