// The least a program can do to write Lumetta's first picture: a 500 x 500 EGL context with
// the scene's fixed state and backdrop texture, the floor's recording of the frame drawn from
// a vertex buffer, and the pixels written as PNG with the same encoder settings.
// Usage: lumetta_floor_render RECORDING OUT.png, from the folder holding panel.bmp.
#include "os/headless_context.h"
#include "export/picture_encode.h"
#include "bench/floor.h"
#include "view/scene.h"

#include <GL/gl.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumetta_floor_render RECORDING OUT.png\n");
        return 2;
    }
    constexpr int size = 500;
    FloorFrame frame;
    std::FILE* in = std::fopen(argv[1], "rb");
    const bool read = in && frame.Read(in);
    if (in)
        std::fclose(in);
    CHeadlessContext context(size, size);
    if (!read || !context.Ok()) {
        std::fprintf(stderr, "lumetta_floor_render: cannot read %s or make a context\n", argv[1]);
        return 1;
    }
    CScene scene;  // fixed state, texture and light 0, as the program sets them once
    scene.OnCreate();
    scene.OnCreateContext();
    scene.OnSize(size, size);
    CFloorRenderer(frame).Draw();
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(size) * size * 3);
    glReadPixels(0, 0, size, size, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    std::vector<unsigned char> png;
    std::FILE* out = std::fopen(argv[2], "wb");
    const bool written = EncodePng(size, size, 3, rgb, png).empty() && out &&
                         std::fwrite(png.data(), 1, png.size(), out) == png.size();
    if (out)
        std::fclose(out);
    return written ? 0 : 1;
}
