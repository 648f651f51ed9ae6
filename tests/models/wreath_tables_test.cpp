// What every wreath table must hold, whatever its shape: the block layout, indices in range,
// every vertex used, and smooth meshes with one unit normal per vertex.
#include "models/wreath_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace {

const WreathTables& T = g_wreathTables;

TEST(WreathTablesTest, TwentyArraysLieBackToBackInTheirOrder)
{
    struct Entry {
        std::size_t offset, size;
    };
    // clang-format off
    const Entry entries[] = {
        {offsetof(WreathTables, ringVertices), 274176},     {offsetof(WreathTables, ringQuads), 91392},
        {offsetof(WreathTables, flatVertices), 4440},       {offsetof(WreathTables, flatTriangles), 3000},
        {offsetof(WreathTables, appleVertices), 16500},     {offsetof(WreathTables, appleVertexIndices), 32760},
        {offsetof(WreathTables, appleNormals), 16500},      {offsetof(WreathTables, appleNormalIndices), 32760},
        {offsetof(WreathTables, stemVertices), 5580},       {offsetof(WreathTables, stemVertexIndices), 15660},
        {offsetof(WreathTables, stemNormals), 5580},        {offsetof(WreathTables, stemNormalIndices), 15660},
        {offsetof(WreathTables, bowVertices), 8400},        {offsetof(WreathTables, bowQuads), 7168},
        {offsetof(WreathTables, starVertices), 1500},       {offsetof(WreathTables, starTriangles), 720},
        {offsetof(WreathTables, bellVertices), 2028},       {offsetof(WreathTables, bellVertexIndices), 2772},
        {offsetof(WreathTables, bellNormals), 2028},        {offsetof(WreathTables, bellNormalIndices), 2772},
    };
    // clang-format on
    std::size_t expected = 0;
    for (const Entry& e : entries) {
        EXPECT_EQ(e.offset, expected);
        expected += e.size;
    }
    EXPECT_EQ(expected, sizeof(WreathTables));
    EXPECT_EQ(sizeof(WreathTables), 541396u);
}

// One mesh of the block, seen uniformly: its vertices and its faces' corner indices.
struct MeshView {
    std::string name;
    std::span<const MeshVertex> vertices;
    std::vector<std::span<const std::int32_t>> faces;
};

template <std::size_t N>
std::vector<std::span<const std::int32_t>> Faces(const std::int32_t (*faces)[N], int count)
{
    std::vector<std::span<const std::int32_t>> result;
    for (int i = 0; i < count; ++i)
        result.emplace_back(faces[i], N);
    return result;
}

std::vector<MeshView> AllMeshes()
{
    return {
        {"ring", {T.ringVertices, kRingVertices}, Faces(T.ringQuads, kRingQuads)},
        {"flat pieces", {T.flatVertices, kFlatVertices}, Faces(T.flatTriangles, kFlatTriangles)},
        {"apples", {T.appleVertices, kAppleVertices}, Faces(T.appleVertexIndices, kAppleTriangles)},
        {"stems", {T.stemVertices, kStemVertices}, Faces(T.stemVertexIndices, kStemTriangles)},
        {"bow", {T.bowVertices, kBowVertices}, Faces(T.bowQuads, kBowQuads)},
        {"stars", {T.starVertices, kStarVertices}, Faces(T.starTriangles, kStarTriangles)},
        {"bell", {T.bellVertices, kBellVertices}, Faces(T.bellVertexIndices, kBellTriangles)},
    };
}

TEST(WreathTablesTest, EveryIndexIsInRangeAndEveryVertexIsUsed)
{
    for (const MeshView& mesh : AllMeshes()) {
        std::vector<bool> used(mesh.vertices.size());
        for (const auto& face : mesh.faces) {
            for (std::int32_t index : face) {
                ASSERT_GE(index, 0) << mesh.name;
                ASSERT_LT(static_cast<std::size_t>(index), mesh.vertices.size()) << mesh.name;
                used[index] = true;
            }
        }
        for (std::size_t v = 0; v < used.size(); ++v)
            ASSERT_TRUE(used[v]) << mesh.name << " vertex " << v << " is used by no face";
    }
}

TEST(WreathTablesTest, SmoothMeshesHaveOneUnitNormalPerVertexIndexedLikeTheVertices)
{
    struct Smooth {
        const char* name;
        std::span<const MeshVertex> normals;
        std::span<const MeshTriangle> vertexIndices, normalIndices;
    };
    // clang-format off
    const Smooth meshes[] = {
        {"apples", {T.appleNormals, kAppleVertices}, {T.appleVertexIndices, kAppleTriangles},
         {T.appleNormalIndices, kAppleTriangles}},
        {"stems", {T.stemNormals, kStemVertices}, {T.stemVertexIndices, kStemTriangles},
         {T.stemNormalIndices, kStemTriangles}},
        {"bell", {T.bellNormals, kBellVertices}, {T.bellVertexIndices, kBellTriangles},
         {T.bellNormalIndices, kBellTriangles}},
    };
    // clang-format on
    for (const Smooth& m : meshes) {
        for (std::size_t t = 0; t < m.vertexIndices.size(); ++t)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(m.normalIndices[t][k], m.vertexIndices[t][k]) << m.name << " triangle " << t;
        for (std::size_t n = 0; n < m.normals.size(); ++n) {
            const float* v = m.normals[n];
            const double length = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
            ASSERT_NEAR(length, 1.0, 1e-6) << m.name << " normal " << n;
        }
    }
}

}  // namespace
