// Writes the wreath's twenty constant arrays as C++ source, in the order the program's
// WreathTables block holds them. Usage: wreath_gen OUTPUT.cpp
#include "wreath_gen.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::FILE* g_out = nullptr;
const char* g_outPath = nullptr;

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "wreath_gen: %s\n", message.c_str());
    if (g_out) {
        std::fclose(g_out);
        std::remove(g_outPath);
    }
    std::exit(1);
}

void Expect(const char* mesh, const char* what, std::size_t got, std::size_t want)
{
    if (got != want)
        Fail(std::string(mesh) + ": " + std::to_string(got) + " " + what + ", need " + std::to_string(want));
}

// A float literal that reads back as exactly the float the program will hold.
std::string FloatLiteral(double value)
{
    const float f = static_cast<float>(value);
    if (!std::isfinite(f))
        Fail("a coordinate is not finite");
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f == 0.0f ? 0.0f : f));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s + "f";
}

void WriteVectors(const char* name, const std::vector<Vec3>& vectors)
{
    std::fprintf(g_out, "    // %s\n    {\n", name);
    for (const Vec3& v : vectors)
        std::fprintf(g_out, "        {%s, %s, %s},\n", FloatLiteral(v.x).c_str(), FloatLiteral(v.y).c_str(),
                     FloatLiteral(v.z).c_str());
    std::fprintf(g_out, "    },\n");
}

template <std::size_t N>
void WriteFaces(const char* name, const std::vector<std::array<int, N>>& faces, std::size_t vertexCount)
{
    std::fprintf(g_out, "    // %s\n    {\n", name);
    for (const auto& face : faces) {
        std::fprintf(g_out, "        {");
        for (std::size_t k = 0; k < N; ++k) {
            if (face[k] < 0 || static_cast<std::size_t>(face[k]) >= vertexCount)
                Fail(std::string(name) + ": index " + std::to_string(face[k]) + " out of range");
            std::fprintf(g_out, k ? ", %d" : "%d", face[k]);
        }
        std::fprintf(g_out, "},\n");
    }
    std::fprintf(g_out, "    },\n");
}

// Smooth meshes store one normal per vertex, so their normal indices are their vertex indices.
void WriteSmooth(const char* name, const Mesh& mesh)
{
    const std::string n = name;
    WriteVectors((n + " vertices").c_str(), mesh.vertices);
    WriteFaces((n + " vertex indices").c_str(), mesh.triangles, mesh.vertices.size());
    WriteVectors((n + " normals").c_str(), mesh.normals);
    WriteFaces((n + " normal indices").c_str(), mesh.triangles, mesh.normals.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: wreath_gen OUTPUT.cpp\n");
        return 2;
    }
    const Mesh ring = BuildRing();
    Expect("ring", "quads", ring.quads.size(), 5712);
    Expect("ring", "vertices", ring.vertices.size(), 22848);
    const Mesh flat = BuildFlatPieces();
    Expect("flat pieces", "triangles", flat.triangles.size(), 250);
    Expect("flat pieces", "vertices", flat.vertices.size(), 370);
    const Mesh apples = BuildApples();
    Expect("apples", "triangles", apples.triangles.size(), 2730);
    Expect("apples", "vertices", apples.vertices.size(), 1375);
    Expect("apples", "normals", apples.normals.size(), 1375);
    const Mesh stems = BuildStems();
    Expect("stems", "triangles", stems.triangles.size(), 1305);
    Expect("stems", "vertices", stems.vertices.size(), 465);
    Expect("stems", "normals", stems.normals.size(), 465);
    const Mesh bow = BuildBow();
    Expect("bow", "quads", bow.quads.size(), 448);
    Expect("bow", "vertices", bow.vertices.size(), 700);
    const Mesh stars = BuildStars();
    Expect("stars", "triangles", stars.triangles.size(), 60);
    Expect("stars", "vertices", stars.vertices.size(), 125);
    const Mesh bell = BuildBell();
    Expect("bell", "triangles", bell.triangles.size(), 231);
    Expect("bell", "vertices", bell.vertices.size(), 169);
    Expect("bell", "normals", bell.normals.size(), 169);

    g_outPath = argv[1];
    g_out = std::fopen(g_outPath, "w");
    if (!g_out)
        Fail(std::string("cannot write ") + g_outPath + ": " + std::strerror(errno));
    std::fprintf(g_out, "// Made by tools/wreath_gen; do not edit.\n#include \"models/wreath_tables.h\"\n\n"
                        "const WreathTables g_wreathTables = {\n");
    WriteVectors("ring vertices", ring.vertices);
    WriteFaces("ring quads", ring.quads, ring.vertices.size());
    WriteVectors("flat-piece vertices", flat.vertices);
    WriteFaces("flat-piece triangles", flat.triangles, flat.vertices.size());
    WriteSmooth("apple", apples);
    WriteSmooth("stem", stems);
    WriteVectors("bow vertices", bow.vertices);
    WriteFaces("bow quads", bow.quads, bow.vertices.size());
    WriteVectors("star vertices", stars.vertices);
    WriteFaces("star triangles", stars.triangles, stars.vertices.size());
    WriteSmooth("bell", bell);
    std::fprintf(g_out, "};\n");
    if (std::fclose(g_out) != 0) {
        g_out = nullptr;
        std::remove(g_outPath);
        Fail(std::string("cannot write ") + argv[1]);
    }
    return 0;
}
