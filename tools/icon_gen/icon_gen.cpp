// Makes the installed icons from the program's own pixel art: icon_gen NAME SCALE OUT.png
// writes the XPM picture NAME (lumetta_16, lumetta_32) enlarged SCALE times, each pixel a
// SCALE x SCALE square, so that the art stays crisp at the desktop's larger sizes.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "res/lumetta_16.xpm"
#include "res/lumetta_32.xpm"

namespace {

struct Rgba {
    unsigned char r, g, b, a;
};

// Reads the XPM subset the art uses: one character per pixel, colours "#RRGGBB" or "None".
bool ReadXpm(const char* const* xpm, int& width, int& height, std::vector<Rgba>& pixels)
{
    int colours = 0, perPixel = 0;
    if (std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &perPixel) != 4 || perPixel != 1)
        return false;
    std::map<char, Rgba> palette;
    for (int i = 1; i <= colours; ++i) {
        const char* line = xpm[i];
        const char* value = std::strstr(line + 1, " c ");
        if (!value)
            return false;
        value += 3;
        unsigned r = 0, g = 0, b = 0;
        if (std::strcmp(value, "None") == 0)
            palette[line[0]] = {0, 0, 0, 0};
        else if (std::sscanf(value, "#%2x%2x%2x", &r, &g, &b) == 3)
            palette[line[0]] = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                static_cast<unsigned char>(b), 255};
        else
            return false;
    }
    for (int y = 0; y < height; ++y) {
        const char* row = xpm[1 + colours + y];
        if (static_cast<int>(std::strlen(row)) != width)
            return false;
        for (int x = 0; x < width; ++x) {
            const auto found = palette.find(row[x]);
            if (found == palette.end())
                return false;
            pixels.push_back(found->second);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: icon_gen lumetta_16|lumetta_32 SCALE OUT.png\n");
        return 2;
    }
    const std::string name = argv[1];
    const int scale = std::atoi(argv[2]);
    const char* const* xpm = name == "lumetta_16" ? lumetta_16_xpm : name == "lumetta_32" ? lumetta_32_xpm : nullptr;
    int width = 0, height = 0;
    std::vector<Rgba> art;
    if (!xpm || scale < 1 || scale > 16 || !ReadXpm(xpm, width, height, art)) {
        std::fprintf(stderr, "icon_gen: cannot read %s at scale %s\n", argv[1], argv[2]);
        return 1;
    }
    std::vector<Rgba> big(static_cast<std::size_t>(width * scale) * height * scale);
    for (int y = 0; y < height * scale; ++y)
        for (int x = 0; x < width * scale; ++x)
            big[static_cast<std::size_t>(y) * width * scale + x] =
                art[static_cast<std::size_t>(y / scale) * width + x / scale];

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width * scale);
    image.height = static_cast<png_uint_32>(height * scale);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, argv[3], 0, big.data(), 0, nullptr)) {
        std::fprintf(stderr, "icon_gen: cannot write %s: %s\n", argv[3], image.message);
        return 1;
    }
    return 0;
}
