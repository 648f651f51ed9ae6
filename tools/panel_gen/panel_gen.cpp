// Makes assets/panel.bmp, the backdrop picture: a 256 x 256 tile of hessian, a plain weave
// of 32 warp and 32 weft threads of natural jute, uneven in colour and thickness, with loose
// fibres. The tile repeats seamlessly in both directions; the program tiles it 11 x 11.
//
// Usage: panel_gen OUTPUT.bmp     (deterministic: the same bytes on every run)
//
// The program reads each texel's green and blue from the pixel after the one that gives its
// red. This picture is stored with its green and blue one pixel later, plus two bytes after
// the pixel data for the last texel, so the texture comes out exactly as designed here. An
// ordinary viewer shows green and blue one pixel to the right: thin colour fringes at the
// threads' edges that the program never shows.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr int kSize = 256;
constexpr int kThreads = 32;              // threads per tile, each way
constexpr int kPitch = kSize / kThreads;  // texels from one thread to the next

struct Rgb {
    double r, g, b;
};

// A repeatable hash of integers to [0, 1).
double Hash(std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0)
{
    std::uint64_t x = a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull) * 0xBF58476D1CE4E5B9ull ^
                      (c + 0x8CB92BA72F3D8DD7ull) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    x *= 0xD6E8FEB86659FD93ull;
    x ^= x >> 32;
    return static_cast<double>(x >> 11) / 9007199254740992.0;
}

double Smooth(double t)
{
    return t * t * (3.0 - 2.0 * t);
}

// Value noise on a lattice of period cells per tile, so it wraps with the tile.
double Noise(double x, double y, int period, std::uint32_t seed)
{
    const double fx = x * period / kSize, fy = y * period / kSize;
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    const double tx = Smooth(fx - x0), ty = Smooth(fy - y0);
    auto at = [&](int i, int j) {
        return Hash(static_cast<std::uint32_t>((i % period + period) % period),
                    static_cast<std::uint32_t>((j % period + period) % period), seed);
    };
    const double top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * tx;
    const double bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * tx;
    return top + (bottom - top) * ty;
}

// How one thread looks at a point: its brightness across the thread (round like a cord,
// with a dark gap at its edges) and along it (rising over the crossing thread and sinking
// under the next). across and along run over one thread pitch, 0 to 1.
double ThreadShade(double across, double along, double thickness, bool onTop)
{
    const double half = 0.5 * thickness;
    const double d = std::abs(across - 0.5) / half;  // 0 on the thread's axis, 1 at its edge
    if (d >= 1.0)
        return 0.0;
    const double round = std::sqrt(1.0 - d * d);
    const double arch = onTop ? 0.80 + 0.20 * std::sin(std::numbers::pi * along) : 0.45;
    return round * arch;
}

Rgb Texel(int x, int y)
{
    const int column = x / kPitch, row = y / kPitch;
    const double u = (x % kPitch + 0.5) / kPitch, v = (y % kPitch + 0.5) / kPitch;
    // Plain weave: warp (running up) and weft (running across) take turns on top.
    const bool warpOnTop = (column + row) % 2 == 0;

    // Jute varies from thread to thread in colour and thickness.
    const double warpTone = 0.88 + 0.16 * Hash(column, 1), weftTone = 0.88 + 0.16 * Hash(row, 2);
    const double warpWidth = 0.74 + 0.14 * Hash(column, 3), weftWidth = 0.70 + 0.16 * Hash(row, 4);
    // Fibres run along each thread: fine streaks that wrap with the tile.
    const double warpFibre = Noise(x * 9.0, y, 32, 5), weftFibre = Noise(x, y * 9.0, 32, 6);

    const double warp = ThreadShade(u, v, warpWidth, warpOnTop) * warpTone * (0.86 + 0.22 * warpFibre);
    const double weft = ThreadShade(v, u, weftWidth, !warpOnTop) * weftTone * (0.86 + 0.22 * weftFibre);
    double shade = warpOnTop ? (warp > 0 ? warp : weft) : (weft > 0 ? weft : warp);

    // Through the gaps between threads: the dark of the cloth behind.
    const double gap = 0.5;
    shade = std::max(shade, gap);

    // Large, soft unevenness of the cloth, and a few loose fibres lying across it.
    const double cloud = 0.97 + 0.06 * Noise(x, y, 8, 7);
    const double stray = Noise(x * 0.7 + y * 2.1, y * 0.7 - x * 2.1, 16, 8) > 0.93 ? 1.08 : 1.0;
    shade *= cloud * stray;

    const Rgb jute = {1.0, 0.80, 0.52};
    // Shadowed fibre is browner than lit fibre.
    const double warmth = 0.5 + 0.5 * shade;
    return {jute.r * shade, jute.g * shade * (0.94 + 0.06 * warmth), jute.b * shade * (0.86 + 0.14 * warmth)};
}

std::uint8_t Byte(double channel)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(channel, 0.0, 1.0) * 255.0));
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: panel_gen OUTPUT.bmp\n");
        return 2;
    }
    // Texels in the order the program stores them: row 0 (the picture's bottom row) first.
    std::vector<std::array<std::uint8_t, 3>> texels;
    texels.reserve(kSize * kSize);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Rgb c = Texel(x, y);
            texels.push_back({Byte(c.r), Byte(c.g), Byte(c.b)});
        }
    }

    const std::uint32_t pixelBytes = kSize * kSize * 3, extra = 2;
    std::vector<std::uint8_t> file;
    // File header, then a 40-byte information header: 24 bits, uncompressed, rows bottom-up.
    file.push_back('B');
    file.push_back('M');
    Put32(file, 54 + pixelBytes + extra);
    Put32(file, 0);
    Put32(file, 54);
    Put32(file, 40);
    Put32(file, kSize);
    Put32(file, kSize);
    Put16(file, 1);
    Put16(file, 24);
    Put32(file, 0);
    Put32(file, pixelBytes);
    Put32(file, 2835);  // 72 dots per inch
    Put32(file, 2835);
    Put32(file, 0);
    Put32(file, 0);
    // Pixel k is stored blue, green, red: its red is texel k's, its blue and green texel k - 1's.
    for (std::size_t k = 0; k < texels.size(); ++k) {
        const auto& own = texels[k];
        const auto& before = texels[k == 0 ? 0 : k - 1];
        file.push_back(before[2]);
        file.push_back(before[1]);
        file.push_back(own[0]);
    }
    file.push_back(texels.back()[2]);
    file.push_back(texels.back()[1]);

    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "panel_gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
