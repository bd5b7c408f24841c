// Blob field and surface: the marching-cubes tables, one cell's triangles for
// known corner values, the charges' potentials, the first frame's charges and
// the module's error messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/blob.h"
#include "engine/geometry/frustum.h"
#include "engine/math/vector.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "tests/lib/pixmap_fixture.h"

namespace {

// Cube faces as corner sets, for telling open edges of a case's surface apart.
const int FACES[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 3, 7, 4}};

bool on_one_face(int e0, int e1) {
    for (const auto& face : FACES) {
        std::set<int> f(face, face + 4);
        if (f.count(blob_edge_corners[e0][0]) && f.count(blob_edge_corners[e0][1]) &&
            f.count(blob_edge_corners[e1][0]) && f.count(blob_edge_corners[e1][1]))
            return true;
    }
    return false;
}

// A 2 x 2 x 2 field (one cell) whose corner values are set by cell corner number.
struct OneCell {
    BlobField* field = blob_field_create(2, 2, 2, 30.0f);
    ~OneCell() { blob_field_destroy(field); }
    BlobPoint* corner(int n) {
        static const int offsets[8][3] = {{0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0},
                                          {0, 1, 1}, {1, 1, 1}, {1, 1, 0}, {0, 1, 0}};
        return &field->points[field->slice_offsets[offsets[n][2]] + field->row_offsets[offsets[n][1]] +
                              offsets[n][0]];
    }
    void set_all(float value) {
        for (int n = 0; n < 8; n++) corner(n)->value = value;
    }
};

}  // namespace

TEST(BlobTables, EveryCaseTriangulatesExactlyItsCrossingEdgesAsAConsistentSurface) {
    EXPECT_EQ(blob_edge_table[1], 0x109);
    EXPECT_EQ(blob_edge_table[2], 0x203);
    EXPECT_EQ(blob_edge_table[3], 0x30a);
    const int8_t case1[] = {0, 8, 3, -1}, case2[] = {0, 1, 9, -1}, case3[] = {1, 8, 3, 9, 8, 1, -1};
    EXPECT_EQ(0, std::memcmp(blob_triangle_table[1], case1, sizeof case1));
    EXPECT_EQ(0, std::memcmp(blob_triangle_table[2], case2, sizeof case2));
    EXPECT_EQ(0, std::memcmp(blob_triangle_table[3], case3, sizeof case3));
    for (int c = 0; c < 256; c++) {
        const int8_t* row = blob_triangle_table[c];
        int n = 0;
        uint16_t used = 0;
        std::map<std::pair<int, int>, int> directed;
        while (n < 16 && row[n] != -1) n++;
        ASSERT_EQ(n % 3, 0) << "case " << c;
        ASSERT_LE(n, 15) << "case " << c;
        for (int i = n; i < 16; i++) ASSERT_EQ(row[i], -1) << "case " << c;
        for (int t = 0; t < n; t += 3)
            for (int k = 0; k < 3; k++) {
                used |= uint16_t(1 << row[t + k]);
                directed[{row[t + k], row[t + (k + 1) % 3]}]++;
            }
        ASSERT_EQ(used, blob_edge_table[c]) << "case " << c;
        // Inside the cube every segment is shared by two triangles in opposite
        // directions; a segment used once must run along a face of the cube.
        for (const auto& [seg, count] : directed) {
            ASSERT_EQ(count, 1) << "case " << c << " repeats segment " << seg.first << "-" << seg.second;
            if (!directed.count({seg.second, seg.first})) {
                ASSERT_TRUE(on_one_face(seg.first, seg.second))
                    << "case " << c << " leaves segment " << seg.first << "-" << seg.second << " open";
            }
        }
        // The complement case has the same crossing edges.
        ASSERT_EQ(blob_edge_table[c], blob_edge_table[255 - c]);
    }
}

TEST(BlobPolygonise, UniformCellsGiveNothingAndTheIsoLevelCountsAsAbove) {
    OneCell cell;
    BlobCell out;
    cell.set_all(5.0f);
    EXPECT_EQ(blob_polygonise(cell.field, 0, 0, 0, &out), 0);
    cell.set_all(0.2f);
    EXPECT_EQ(blob_polygonise(cell.field, 0, 0, 0, &out), 0);
    cell.set_all(1.0f);  // exactly the iso level: not below, case 0
    EXPECT_EQ(blob_polygonise(cell.field, 0, 0, 0, &out), 0);
}

TEST(BlobPolygonise, OneCornerBelowGivesOneTriangleOnItsThreeEdges) {
    OneCell cell;
    BlobCell out;
    cell.set_all(3.0f);
    // Corner 3 is the cell's lowest grid point (k, j, i); below the level: case 8.
    BlobPoint* low = cell.corner(3);
    low->value = 0.0f;
    for (int n = 0; n < 8; n++) cell.corner(n)->gx = 1.0f;  // normals along +x
    ASSERT_EQ(blob_polygonise(cell.field, 0, 0, 0, &out), 1);
    EXPECT_EQ(out.triangles[0][0], 3);
    EXPECT_EQ(out.triangles[0][1], 11);
    EXPECT_EQ(out.triangles[0][2], 2);
    // f = (1 - 0) / (3 - 0): a third of the way from corner 3 along each edge.
    const float step = 15.0f;  // 30 / 2
    EXPECT_FLOAT_EQ(out.edge[3].z, low->z + step / 3.0f);   // edge 3 runs to corner 0 (i + 1)
    EXPECT_FLOAT_EQ(out.edge[11].y, low->y + step / 3.0f);  // edge 11 to corner 7 (j + 1)
    EXPECT_FLOAT_EQ(out.edge[2].x, low->x + step / 3.0f);   // edge 2 to corner 2 (k + 1)
    EXPECT_FLOAT_EQ(out.edge[2].y, low->y);
    EXPECT_FLOAT_EQ(out.edge[3].nx, 1.0f);
    // The complement (all but corner 3 below) gives the same edges.
    cell.set_all(0.0f);
    low->value = 3.0f;
    ASSERT_EQ(blob_polygonise(cell.field, 0, 0, 0, &out), 1);
    EXPECT_EQ(out.triangles[0][0], 3);
    EXPECT_EQ(out.triangles[0][1], 2);
    EXPECT_EQ(out.triangles[0][2], 11);
}

TEST(BlobPolygonise, TwoOppositeCornersAndAHalfCube) {
    OneCell cell;
    BlobCell out;
    // Corners 0 and 6 below, diagonally opposite: two separate triangles (case 65).
    cell.set_all(2.0f);
    cell.corner(0)->value = 0.0f;
    cell.corner(6)->value = 0.0f;
    ASSERT_EQ(blob_polygonise(cell.field, 0, 0, 0, &out), 2);
    // The bottom face (corners 0-3) below: a flat quad of two triangles at y = 1/2 step.
    cell.set_all(2.0f);
    for (int n = 0; n < 4; n++) cell.corner(n)->value = 0.0f;
    ASSERT_EQ(blob_polygonise(cell.field, 0, 0, 0, &out), 2);
    for (int t = 0; t < 2; t++)
        for (int k = 0; k < 3; k++)
            EXPECT_FLOAT_EQ(out.edge[out.triangles[t][k]].y, cell.corner(3)->y + 7.5f);
}

TEST(BlobField, GridPositionsAndChargePotentials) {
    BlobField* field = blob_field_create(20, 20, 20, 300.0f);
    ASSERT_NE(field, nullptr);
    EXPECT_FLOAT_EQ(field->points[0].x, -150.0f);
    const BlobPoint& last = field->points[20 * 20 * 20 - 1];
    EXPECT_FLOAT_EQ(last.x, 135.0f);
    EXPECT_FLOAT_EQ(last.y, 135.0f);
    EXPECT_FLOAT_EQ(last.z, 135.0f);
    EXPECT_EQ(field->slice_offsets[3], 3 * 400);
    EXPECT_EQ(field->row_offsets[3], 60);

    // A point charge 30 to the side of point (0, 0, 0) of the grid.
    blob_point_charge(field, -150.0f, -150.0f, -120.0f, 15.0f);
    EXPECT_FLOAT_EQ(field->points[0].value, 0.5f);
    EXPECT_FLOAT_EQ(field->points[0].gz, -15.0f);
    blob_field_clear(field);
    EXPECT_EQ(field->points[0].value, 0.0f);
    EXPECT_EQ(field->points[0].gz, 0.0f);

    // A capsule along +x from (-150, -150, -150), length 60: a point alongside
    // measures straight across, one beyond the end measures to the end.
    blob_segment_charge(field, -150.0f, -150.0f, -150.0f, 1.0f, 0.0f, 0.0f, 60.0f, 15.0f);
    const BlobPoint& beside = field->points[field->slice_offsets[2] + 2];  // (-120, -150, -120)
    EXPECT_FLOAT_EQ(beside.value, 0.5f);  // 15 / 30
    EXPECT_FLOAT_EQ(beside.gx, 0.0f);
    const BlobPoint& beyond = field->points[8];  // (-30, -150, -150): 60 past the end
    EXPECT_FLOAT_EQ(beyond.value, 0.25f);
    EXPECT_FLOAT_EQ(beyond.gx, 15.0f);
    const BlobPoint& behind = field->points[field->slice_offsets[1]];  // start point + (0, 0, 15)
    EXPECT_FLOAT_EQ(behind.value, 1.0f);
    blob_field_destroy(field);
}

// The charges are added four points at a time: every point gets the bits of
// the one-point formula, w = strength / sqrt(dx^2 + dy^2 + dz^2) added to the
// value and d * w to the gradient, on a grid whose count is not a multiple of
// four, with capsules pointing every way (points before, alongside, beyond).
TEST(BlobField, ChargesGiveTheBitsOfTheOnePointFormula) {
    BlobField* field = blob_field_create(5, 5, 3, 300.0f);  // 75 points
    ASSERT_NE(field, nullptr);
    std::vector<BlobPoint> want(field->points, field->points + 75);
    const auto add = [&](size_t q, float dx, float dy, float dz, float strength) {
        const float w = strength / std::sqrt(dx * dx + dy * dy + dz * dz);
        want[q].value += w;
        want[q].gx += dx * w;
        want[q].gy += dy * w;
        want[q].gz += dz * w;
    };
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> at(-200.0f, 200.0f), unit(-1.0f, 1.0f);
    for (int round = 0; round < 20; round++) {
        const float cx = at(rng), cy = at(rng), cz = at(rng);
        blob_point_charge(field, cx, cy, cz, 15.0f);
        for (size_t q = 0; q < 75; q++) add(q, want[q].x - cx, want[q].y - cy, want[q].z - cz, 15.0f);
        vector u = {unit(rng), unit(rng), unit(rng)};
        vec_normalize(&u, &u);
        const float len = 120.0f;
        blob_segment_charge(field, cx, cy, cz, u.x, u.y, u.z, len, 16.0f);
        for (size_t q = 0; q < 75; q++) {
            const BlobPoint& p = want[q];
            float dx = p.x - cx, dy = p.y - cy, dz = p.z - cz;
            const float t = u.x * dx + u.y * dy + u.z * dz;
            if (t > 0.0f && t > len) {
                dx = p.x - (cx + len * u.x), dy = p.y - (cy + len * u.y), dz = p.z - (cz + len * u.z);
            } else if (t > 0.0f) {
                dx -= t * u.x, dy -= t * u.y, dz -= t * u.z;
            }
            add(q, dx, dy, dz, 16.0f);
        }
    }
    for (size_t q = 0; q < 75; q++) {
        SCOPED_TRACE(q);
        EXPECT_EQ(std::memcmp(&field->points[q], &want[q], sizeof(BlobPoint)), 0);
    }
    blob_field_destroy(field);
}

TEST(BlobDraw, FirstFrameChargesSitWhereTheStartingPhasesPutThem) {
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR), texture(256, 256);
    texture.clear(0xFFFFFFFFu);
    blob.screen = screen.get();
    blob.view = frustum_create(0, screen.get(), 320.0f, 240.0f, 256.0f);
    blob.texture = texture.get();
    blob.field = blob_field_create(20, 20, 20, 300.0f);
    ASSERT_EQ(raster_select(0x94), 1);  // as blob_init does
    ASSERT_EQ(blob_draw(), 1);
    const BlobCharges& q = blob.charges;
    EXPECT_FLOAT_EQ(q.ball1[0], 70.0f * std::sin(-0.5f));
    EXPECT_FLOAT_EQ(q.ball1[1], 70.0f * std::sin(-0.75f));
    EXPECT_FLOAT_EQ(q.ball1[2], 70.0f * std::sin(-0.625f));
    EXPECT_FLOAT_EQ(q.capsule_start[0], 30.0f * std::sin(2.05f));
    EXPECT_FLOAT_EQ(q.capsule_start[1], 30.0f * std::sin(-0.4f));
    EXPECT_FLOAT_EQ(q.capsule_start[2], 30.0f * std::sin(-0.2f));
    EXPECT_FLOAT_EQ(q.capsule_direction[0], 0.0f);
    EXPECT_FLOAT_EQ(q.capsule_direction[1], 1.0f);
    EXPECT_FLOAT_EQ(q.capsule_direction[2], 0.0f);
    EXPECT_FLOAT_EQ(q.ball4[0], 60.0f * std::sin(-0.1f));
    // The phases moved on by one frame's step.
    EXPECT_FLOAT_EQ(blob.a, 0.5f + 0.19198056f);
    EXPECT_FLOAT_EQ(blob.e, 0.12216944f);
    // The surface was drawn: white texels around the screen centre.
    EXPECT_GT(320 * 240 - screen.count_not(0xFFFFFFFFu), 2000);
    EXPECT_EQ(screen.at(0, 0), 0xFF000000u) << "the corner stays clear";
    frustum_destroy(blob.view);
    blob_field_destroy(blob.field);
    blob.screen = blob.texture = nullptr, blob.view = nullptr, blob.field = nullptr;
}

TEST(BlobInit, MissingTextureReportsTheLoaderMessageOnce) {
    char dir[] = "/tmp/blob_test_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    EXPECT_EQ(blob_init(screen.get()), 0);
    EXPECT_EQ(blob.view, nullptr) << "the frustum is given back";
    const std::string first = blob_error_string();
    EXPECT_EQ(first.rfind("[Blob]->", 0), 0u) << first;
    EXPECT_GT(first.size(), std::strlen("[Blob]->"));
    EXPECT_STREQ(blob_error_string(), "[Blob] No error, so far...");
    blob.error = 9;
    EXPECT_STREQ(blob_error_string(), "[Blob] Ambiguous error...");
    EXPECT_EQ(chdir(cwd), 0);
    rmdir(dir);
}
