// The wreath table generator: each builder makes one mesh of the wreath in double precision;
// main checks the counts and writes them out as the program's constant tables.
#pragma once

#include <array>
#include <vector>

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

struct Mesh {
    std::vector<Vec3> vertices;
    std::vector<Vec3> normals;                  // smooth meshes: one unit normal per vertex
    std::vector<std::array<int, 3>> triangles;  // triangle meshes
    std::vector<std::array<int, 4>> quads;      // quad meshes
};

Mesh BuildRing();        // evergreen sprigs: 5712 quads, 22848 vertices
Mesh BuildFlatPieces();  // pale flowers: 250 triangles, 370 vertices
Mesh BuildStars();       // gold stars: 60 triangles, 125 vertices
Mesh BuildBell();        // gold bell: 231 triangles, 169 vertices and normals
Mesh BuildBow();         // red bow: 448 quads, 700 vertices
Mesh BuildApples();      // five apples: 2730 triangles, 1375 vertices and normals
Mesh BuildStems();       // five stems: 1305 triangles, 465 vertices and normals
