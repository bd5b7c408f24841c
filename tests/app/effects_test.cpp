// The effects on their own, with generated textures in a temporary working
// directory: klegg's pulses, fades and radii, the hairy tubes' first frame and
// angle chains, the knot's swing and first shape, zfx's credits, perspective,
// shading factor and closed mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "app/hairy.h"
#include "app/klegg.h"
#include "app/knot.h"
#include "app/zfx.h"
#include "engine/geometry/frustum.h"
#include "engine/image/jpeg.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "tests/lib/pixmap_fixture.h"

namespace {

// A shiny-ball environment map (bright in the middle, dark at the rim) as JPEG.
void save_envmap(const char* name, uint32_t tint) {
    TestPixmap p(256, 256);
    for (int v = 0; v < 256; v++)
        for (int u = 0; u < 256; u++) {
            const float dx = (u - 128) / 128.0f, dy = (v - 128) / 128.0f;
            float l = 1.0f - std::sqrt(dx * dx + dy * dy);
            if (l < 0) l = 0;
            const uint32_t c = uint32_t(40 + 215 * l * l);
            p.at(u, v) = 0xFF000000u | (c * (tint & 255) / 255) | (c * ((tint >> 8) & 255) / 255) << 8 |
                         (c * ((tint >> 16) & 255) / 255) << 16;
        }
    ASSERT_EQ(jpeg_save_pixmap(name, p.get(), 95), 1) << name;
}

void save_flat(const char* name, int w, int h, uint32_t colour) {
    TestPixmap p(w, h);
    p.clear(colour);
    ASSERT_EQ(jpeg_save_pixmap(name, p.get(), 95), 1) << name;
}

// An 8-bit, run-length coded PCX (version 5) of a grey ramp, 256 x 256.
void save_pcx(const char* name) {
    FILE* f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    uint8_t header[128] = {};
    header[0] = 0x0A, header[1] = 5, header[2] = 1, header[3] = 8;
    header[8] = 255, header[10] = 255;         // xmax, ymax
    header[65] = 1, header[66] = 0, header[67] = 1;  // one plane, 256 bytes per line
    std::fwrite(header, 1, 128, f);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const uint8_t b = uint8_t((x + y) / 2);
            const uint8_t run[2] = {0xC1, b};
            std::fwrite(run, 1, 2, f);
        }
    std::fputc(0x0C, f);
    for (int i = 0; i < 256; i++) {
        const uint8_t rgb[3] = {uint8_t(i), uint8_t(i), uint8_t(i)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
}

// Makes a temporary directory with every texture the effects load, and makes
// it the working directory until destroyed. Credits are plain white.
struct EffectData {
    std::string old_dir;
    std::string dir;
    EffectData() {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) old_dir = cwd;
        char tmpl[] = "/tmp/wendril_fx_XXXXXX";
        dir = mkdtemp(tmpl);
        if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "chdir " << dir;
        mkdir("data", 0755);
        mkdir("data/hairy", 0755);
        mkdir("data/knot", 0755);
        save_envmap("envmap.jpg", 0xFFFFFF);
        save_envmap("bl\xE5.jpg", 0xFF8080);
        save_envmap("r\xF6" "d.jpg", 0x4080FF);
        save_envmap("data/hairy/envmap01.jpg", 0x40FFFF);
        save_pcx("data/hairy/envmap03.pcx");
        save_flat("data/knot/img.jpg", 320, 240, 0xFF000000u);
        const char* credits[] = {"music", "warnip", "coding", "hoskel", "dunraf", "selvin", "mobrek"};
        for (const char* c : credits)
            save_flat(("data/knot/" + std::string(c) + ".jpg").c_str(), 160, 32, 0xFFFFFFFFu);
    }
    ~EffectData() {
        if (!old_dir.empty() && chdir(old_dir.c_str()) != 0) ADD_FAILURE() << "chdir back";
        std::system(("rm -rf " + dir).c_str());
    }
};

void set_position(MusicPosition* p, uint32_t order, uint32_t row, float frame_ticks) {
    p->order = order;
    p->row = row;
    p->frame_ticks = frame_ticks;
}

float length(const vector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

}  // namespace

TEST(Klegg, BallPulsesFadesAndRadii) {
    EffectData data;
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_NE(klegg_create(screen.get()), nullptr);
    EXPECT_LE(klegg.vertex_count, KLEGG_MAX_VERTICES);
    EXPECT_GE(klegg.vertex_count, 258) << "a closed ball of 512 faces has at least 258 vertices";
    for (int k = 0; k < klegg.vertex_count; k++) ASSERT_NEAR(length(klegg.unit[k]), 1.0f, 1e-5f);

    // Order 0: cleared to black, the ball alone in the middle, no tunnel.
    MusicPosition pos{};
    set_position(&pos, 0, 0, 1.0f);
    klegg_draw(screen.get(), &pos);
    EXPECT_EQ(screen.at(0, 0), 0u);
    EXPECT_EQ(screen.at(319, 239), 0u);
    EXPECT_NE(screen.at(160, 120), 0u);

    // Order 4's four pulses per pattern fall off; orders 0-3 always pulse at 25.
    const uint32_t rows[4] = {4, 20, 36, 52};
    const float order4[4] = {40.0f, 29.333334f, 18.666666f, 8.0f};
    for (int i = 0; i < 4; i++) {
        set_position(&pos, 4, rows[i], 0.0f);
        klegg_draw(screen.get(), &pos);
        EXPECT_FLOAT_EQ(klegg.pulse_amplitude, order4[i]) << "row " << rows[i];
        EXPECT_EQ(klegg.pulse_phase, 0.0f);
        set_position(&pos, 2, rows[i], 0.0f);
        klegg_draw(screen.get(), &pos);
        EXPECT_FLOAT_EQ(klegg.pulse_amplitude, 25.0f);
    }
    // A pulse row that lasts several frames restarts the pulse on each of them.
    for (int f = 0; f < 3; f++) {
        set_position(&pos, 3, 20, 2.0f);
        klegg_draw(screen.get(), &pos);
        EXPECT_FLOAT_EQ(klegg.pulse_amplitude, 25.0f - 2.0f * 0.3f);
        EXPECT_FLOAT_EQ(klegg.pulse_phase, 2.0f * 0.2f);
    }
    // Off the pulse rows it decays to 0 and the radii lie within 40 +- 30.
    set_position(&pos, 3, 21, 100.0f);
    klegg_draw(screen.get(), &pos);
    klegg_draw(screen.get(), &pos);
    EXPECT_EQ(klegg.pulse_amplitude, 0.0f);
    for (int k = 0; k < klegg.vertex_count; k++) {
        const float r = length(klegg.position[k]);
        ASSERT_GE(r, 10.0f - 1e-3f);
        ASSERT_LE(r, 70.0f + 1e-3f);
        ASSERT_TRUE(klegg.u[k] >= 0 && klegg.u[k] <= 255 && klegg.v[k] >= 0 && klegg.v[k] <= 255);
    }

    // Order 1 fades the tunnel in over 67 frames (level just below 0), order 4
    // fades it out and lands exactly on 1.0, after which it is not drawn.
    set_position(&pos, 1, 10, 1.0f);
    for (int f = 0; f < 67; f++) klegg_draw(screen.get(), &pos);
    EXPECT_NEAR(klegg.fade_level, -0.005f, 1e-6f);
    klegg_draw(screen.get(), &pos);  // no further step below 0
    EXPECT_NEAR(klegg.fade_level, -0.005f, 1e-6f);
    set_position(&pos, 2, 10, 1.0f);
    klegg_draw(screen.get(), &pos);
    EXPECT_NE(screen.at(0, 0), 0u) << "the tunnel shows unfaded in order 2";
    set_position(&pos, 4, 10, 1.0f);
    for (int f = 0; f < 67; f++) klegg_draw(screen.get(), &pos);
    EXPECT_EQ(klegg.fade_level, 1.0f);
    klegg_draw(screen.get(), &pos);
    EXPECT_EQ(screen.at(0, 0), 0u) << "the tunnel is gone once the level is back at 1.0";
}

TEST(Hairy, FirstFrameTubesAreStraightAlongTheFourAxes) {
    EffectData data;
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_EQ(hairy_create(screen.get()), 1);
    const vector axis[HAIRY_HAIRS] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int h = 0; h < HAIRY_HAIRS; h++) {
        hairy_build_hair(h);
        ASSERT_EQ(hairy.vertex_count, HAIRY_VERTICES);
        ASSERT_EQ(hairy.triangle_count, HAIRY_TRIANGLES);
        float last = -1.0f;
        for (int s = 0; s < HAIRY_RINGS; s++) {
            vector centre = {0, 0, 0};
            for (int i = 0; i < HAIRY_SIDES; i++) {
                const vector& v = hairy.vertex[HAIRY_SIDES * s + i];
                centre.x += v.x / HAIRY_SIDES, centre.y += v.y / HAIRY_SIDES, centre.z += v.z / HAIRY_SIDES;
            }
            // The centre lies on the hair's axis, farther out ring by ring...
            const float along = centre.x * axis[h].x + centre.z * axis[h].z;
            EXPECT_NEAR(centre.y, 0.0f, 1e-3f) << "hair " << h << " ring " << s;
            EXPECT_NEAR(std::fabs(centre.x * axis[h].z) + std::fabs(centre.z * axis[h].x), 0.0f, 1e-3f);
            EXPECT_GT(along, last);
            last = along;
            // ...and the ring is a hexagon of radius 10 across the axis.
            for (int i = 0; i < HAIRY_SIDES; i++) {
                const vector& v = hairy.vertex[HAIRY_SIDES * s + i];
                const vector d = {v.x - centre.x, v.y - centre.y, v.z - centre.z};
                EXPECT_NEAR(length(d), 10.0f, 2e-3f);
                EXPECT_NEAR(d.x * axis[h].x + d.z * axis[h].z, 0.0f, 1e-3f);
            }
        }
        // Ring s sits where the track is at time 4s (keys every 10 at 50 apart: 20 per s).
        EXPECT_NEAR(last, 15 * 20.0f, 1.0f);
    }

    MusicPosition pos{};
    set_position(&pos, 5, 0, 2.0f);
    hairy_draw(screen.get(), &pos);
    // One frame later the chains have shifted by one fixed twist and the roots moved per tick.
    EXPECT_FLOAT_EQ(hairy.alpha[1], float(0.0 - 0.046542113386515455));
    EXPECT_FLOAT_EQ(hairy.beta[1], float(0.06544984694978735));
    EXPECT_FLOAT_EQ(hairy.gamma[79], float(-0.04027682889217683));
    EXPECT_FLOAT_EQ(hairy.alpha[0], float(2.0 * 0.005817764173314432));
    EXPECT_FLOAT_EQ(hairy.beta[0], float(-2.0 * 0.008181230868723419));
    EXPECT_FLOAT_EQ(hairy.background_radius, 8.0f);
    hairy_draw(screen.get(), &pos);
    EXPECT_FLOAT_EQ(hairy.alpha[2], float(float(0.0 - 0.046542113386515455) - 0.046542113386515455));
}

TEST(Knot, SwingIsReKickedOnEverySixteenthRowAndShapeStartsAsACircle) {
    EffectData data;
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_NE(knot_create(screen.get()), nullptr);
    MusicPosition pos{};
    // The start swing of 150 is above 100: row 0 does not cut it short.
    set_position(&pos, 9, 0, 1.0f);
    knot_draw(screen.get(), &pos);
    EXPECT_FLOAT_EQ(knot.swing, 148.0f);
    // With the first keys the curve is a circle of radius 100 in the x-y plane
    // and the tube round, of radius 30.
    for (int q = 0; q < KNOT_SEGMENTS; q++) {
        EXPECT_NEAR(length(knot.curve[q]), 100.0f, 1e-3f);
        EXPECT_NEAR(knot.curve[q].z, 0.0f, 1e-3f);
        for (int s = 0; s < KNOT_SIDES; s++) {
            const vector d = {knot.tube[q][s].x - knot.curve[q].x, knot.tube[q][s].y - knot.curve[q].y,
                              knot.tube[q][s].z - knot.curve[q].z};
            EXPECT_NEAR(length(d), 30.0f, 1e-3f);
        }
    }
    set_position(&pos, 9, 5, 10.0f);
    for (int f = 0; f < 3; f++) knot_draw(screen.get(), &pos);
    EXPECT_FLOAT_EQ(knot.swing, 88.0f);
    set_position(&pos, 9, 1, 1.0f);  // not a kick row
    knot_draw(screen.get(), &pos);
    EXPECT_FLOAT_EQ(knot.swing, 86.0f);
    // Rows 0, 16, 32 and 48 kick it back to 100, every frame they last.
    for (uint32_t row : {16u, 16u, 16u, 32u, 48u, 0u}) {
        set_position(&pos, 9, row, 1.5f);
        knot_draw(screen.get(), &pos);
        EXPECT_FLOAT_EQ(knot.swing, 97.0f) << "row " << row;
    }
    // The swing decays to 0 and stays there.
    set_position(&pos, 18, 3, 60.0f);
    knot_draw(screen.get(), &pos);
    EXPECT_EQ(knot.swing, 0.0f);
    EXPECT_NEAR(knot.track_time, (1 + 30 + 1 + 9 + 60) / 5.5f, 1e-3f);
    // Every texture coordinate is a texel of the 256 x 256 map.
    for (int q = 0; q < KNOT_SEGMENTS; q++)
        for (int s = 0; s < KNOT_SIDES; s++)
            ASSERT_TRUE(knot.u[q][s] >= 0 && knot.u[q][s] <= 255 && knot.v[q][s] >= 0 && knot.v[q][s] <= 255);
}

TEST(Zfx, MeshIsAClosedTubeWithTheRingLayout) {
    EffectData data;
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_EQ(zfx_create(screen.get()), 1);
    // The ninth position of every ring and the 41st ring repeat earlier positions.
    for (int r = 0; r <= ZFX_RINGS; r++) {
        const vector& a = zfx_mesh[ZFX_RING_STRIDE * r], &b = zfx_mesh[ZFX_RING_STRIDE * r + 8];
        EXPECT_NEAR(a.x, b.x, 1e-3f);
        EXPECT_NEAR(a.y, b.y, 1e-3f);
        EXPECT_NEAR(a.z, b.z, 1e-3f);
    }
    for (int s = 0; s < ZFX_RING_STRIDE; s++) {
        const vector& a = zfx_mesh[s], &b = zfx_mesh[ZFX_RING_STRIDE * ZFX_RINGS + s];
        EXPECT_NEAR(a.x, b.x, 1e-2f);
        EXPECT_NEAR(a.z, b.z, 1e-2f);
    }
    EXPECT_EQ(zfx_faces[0][0], 0);
    EXPECT_EQ(zfx_faces[0][1], 9);
    EXPECT_EQ(zfx_faces[0][2], 10);
    EXPECT_EQ(zfx_faces[1][2], 1);
    EXPECT_EQ(zfx_faces[ZFX_TRIANGLES - 2][1], 7) << "the last ring closes onto the first";
    EXPECT_EQ(zfx_faces[ZFX_TRIANGLES - 1][1], 0);
    // Closed: every edge is shared by exactly two faces, once in each direction.
    std::map<std::pair<int, int>, int> edges;
    for (const auto& f : zfx_faces)
        for (int k = 0; k < 3; k++) edges[{f[k], f[(k + 1) % 3]}]++;
    for (const auto& [e, n] : edges) {
        ASSERT_EQ(n, 1);
        ASSERT_EQ(edges.count({e.second, e.first}), 1u) << e.first << "-" << e.second;
        ASSERT_LT(e.first % ZFX_RING_STRIDE, ZFX_SIDES) << "ninth positions are not referenced";
        ASSERT_LT(e.first, ZFX_RINGS * ZFX_RING_STRIDE) << "the 41st ring is not referenced";
    }
    // About the stated size.
    float lo = 1e9f, hi = -1e9f;
    for (const auto& v : zfx_mesh) lo = std::min(lo, v.x), hi = std::max(hi, v.x);
    EXPECT_GT(hi - lo, 120.0f);
    EXPECT_LT(hi - lo, 200.0f);
}

// The faces must be wound outward: then the back-face cull keeps the near
// wall of the tube and the shading comes from that wall. Inside-out winding
// draws the far wall instead (under a fifth of the faces kept lie near).
TEST(Zfx, FacesAreWoundOutwardSoTheCullKeepsTheNearWall) {
    EffectData data;
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_EQ(zfx_create(screen.get()), 1);
    // A face's point on the centre line: the mean of the two rings it spans.
    auto axis_point = [](const vector* v, const int32_t* f) {
        vector centre = {0, 0, 0};
        for (const int ring : {f[0] / ZFX_RING_STRIDE, f[1] / ZFX_RING_STRIDE})
            for (int s = 0; s < ZFX_SIDES; s++) vec_add(&centre, &centre, &v[ZFX_RING_STRIDE * ring + s]);
        vec_scale(&centre, 1.0f / (2 * ZFX_SIDES), &centre);
        return centre;
    };
    auto face_centre = [](const vector* v, const int32_t* f) {
        vector c = {0, 0, 0};
        for (int k = 0; k < 3; k++) vec_add(&c, &c, &v[f[k]]);
        vec_scale(&c, 1.0f / 3.0f, &c);
        return c;
    };
    for (const auto& f : zfx_faces) {
        vector ab, ac, n, out;
        vec_sub(&ab, &zfx_mesh[f[1]], &zfx_mesh[f[0]]);
        vec_sub(&ac, &zfx_mesh[f[2]], &zfx_mesh[f[0]]);
        vec_cross(&n, &ab, &ac);
        const vector centre = face_centre(zfx_mesh, f), axis = axis_point(zfx_mesh, f);
        vec_sub(&out, &centre, &axis);
        ASSERT_GT(vec_dot(&n, &out), 0.0f) << "face " << f[0] << " " << f[1] << " " << f[2];
    }
    const float poses[][3] = {{0, 0, 0}, {0.7f, -1.3f, 0.4f}, {2.1f, 0.5f, -2.6f}, {-1.0f, 2.9f, 1.7f}};
    for (const auto& pose : poses) {
        matrix m;
        mat_rotate_zyx(&m, pose[0], pose[1], pose[2]);
        vector v[ZFX_VERTICES], screen_v[ZFX_VERTICES];
        vec_transform_array(v, zfx_mesh, ZFX_VERTICES, &m);
        for (int k = 0; k < ZFX_VERTICES; k++) {
            v[k].x -= 64.0f, v[k].y -= 32.0f;
            frustum_project(zfx.view, &screen_v[k], &v[k]);
        }
        const vector eye = {0.0f, 0.0f, -zfx.view->perspective};
        int drawn = 0, near = 0, lit = 0;
        for (const auto& f : zfx_faces) {
            const vector &a = screen_v[f[0]], &b = screen_v[f[1]], &c = screen_v[f[2]];
            // The dispatcher's test: counter-clockwise on the y-down screen is a back face.
            if ((a.x - b.x) * (c.y - b.y) - (a.y - b.y) * (c.x - b.x) > 0.0f) continue;
            drawn++;
            // Near wall: the face lies on the side of the centre line that looks towards the eye.
            const vector centre = face_centre(v, f), axis = axis_point(v, f);
            vector out, to_eye;
            vec_sub(&out, &centre, &axis);
            vec_sub(&to_eye, &eye, &centre);
            if (vec_dot(&out, &to_eye) > 0.0f) near++;
            if (zfx_lambert(&v[f[0]], &v[f[1]], &v[f[2]]) > 0.0f) lit++;
        }
        EXPECT_GT(drawn, ZFX_TRIANGLES / 3) << "pose " << pose[0];
        EXPECT_GT(near, drawn * 3 / 4) << "pose " << pose[0] << ": faces kept by the cull lie on the near wall";
        EXPECT_GT(lit, drawn * 17 / 20) << "pose " << pose[0] << ": faces kept by the cull are shaded";
    }
}

TEST(Zfx, CreditTimersPerspectiveAndShading) {
    EffectData data;
    TestPixmap screen(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_EQ(zfx_create(screen.get()), 1);
    MusicPosition pos{};
    set_position(&pos, 15, 0, 2.0f);
    zfx_draw(screen.get(), &pos);
    EXPECT_EQ(zfx.view->perspective, 280.0f) << "the first frame's eye distance";
    // Picture 0's timer was exactly 1.0: not shown on the first frame.
    EXPECT_EQ(screen.at(300, 10) & 0xFFFFFF, 0u);
    for (int i = 0; i < ZFX_CREDITS; i++) EXPECT_FLOAT_EQ(zfx.credit_timer[i], 1.0f + 0.5f * i - 0.01f);
    zfx_draw(screen.get(), &pos);
    EXPECT_EQ(screen.at(300, 10) & 0xFFFFFF, 0xFFFFFFu) << "white credit added";
    EXPECT_EQ(screen.at(300, 40) & 0xFFFFFF, 0u) << "picture 1 not yet";
    // A timer of exactly -1.0 is no longer shown.
    zfx.credit_timer[0] = -1.0f;
    zfx_draw(screen.get(), &pos);
    EXPECT_EQ(screen.at(300, 10) & 0xFFFFFF, 0u);
    // Picture 1 at x = 180 loses its right-most 20 columns to the screen edge.
    zfx.credit_timer[1] = 0.5f;
    zfx_draw(screen.get(), &pos);
    EXPECT_EQ(screen.at(180, 40) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(screen.at(179, 40) & 0xFFFFFF, 0u);

    // Facing the eye: factor 1; edge-on or turned away: 0.
    const vector a = {0, 0, 0}, b = {10, 0, 0}, c = {0, 10, 0};
    const float facing = std::max(zfx_lambert(&a, &b, &c), zfx_lambert(&a, &c, &b));
    EXPECT_NEAR(facing, 1.0f, 1e-3f);
    EXPECT_EQ(std::min(zfx_lambert(&a, &b, &c), zfx_lambert(&a, &c, &b)), 0.0f);
    const vector e = {0, 0, 10};
    EXPECT_NEAR(zfx_lambert(&a, &b, &e), 0.0f, 1e-2f) << "seen nearly edge-on";
    EXPECT_EQ(zfx_lambert(&a, &a, &a), 0.0f) << "a degenerate face";
}
