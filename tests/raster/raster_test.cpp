// The rasterizer registry and dispatcher: descriptors and search order, the
// selection fallback, back-face culling, custom and wire routes, and the slot
// each drawing mode reaches.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"

namespace {

// A driver whose every triangle slot records its own number.
std::vector<int> calls;
template <int N>
void record(tpoly*, Pixmap*) {
    calls.push_back(N);
}
template <int... N>
constexpr RasterDriver make_recorder(std::integer_sequence<int, N...>) {
    return {"recorder", 0x7777, {record<N>...}};
}
const RasterDriver recorder = make_recorder(std::make_integer_sequence<int, RASTER_SLOTS>{});

std::vector<tpoly*> custom_calls;
void custom_routine(tpoly* t, Pixmap*) {
    custom_calls.push_back(t);
}

// Clockwise on a y-down screen: c < 0, a front face.
tpoly front_triangle(uint32_t flags) {
    tpoly t{};
    t.flags = flags;
    t.vertex[0] = {1, 1, 5};
    t.vertex[1] = {6, 1, 5};
    t.vertex[2] = {1, 6, 5};
    return t;
}

int dispatched_slot(uint32_t flags) {
    calls.clear();
    current_raster_driver = &recorder;
    tpoly t = front_triangle(flags);
    raster_draw_triangle(&t, nullptr);
    return calls.size() == 1 ? calls[0] : -1;
}

}  // namespace

// Runs first in its own process under ctest: the start value.
TEST(RasterRegistry, StartsWithTheFloatZbufferedDriver) {
    EXPECT_EQ(current_raster_driver, &raster_driver_float_zbuffer);
}

TEST(RasterRegistry, DescriptorsCarryTheirNamesAndFlags) {
    struct Expect {
        const RasterDriver* d;
        const char* name;
        uint32_t flags;
    } expect[] = {
        {&raster_driver_float_zbuffer, "ZBuffered software polygondrawer, extensive float-usage!", 0x82},
        {&raster_driver_safe, "Software SAFE polygon drawer", 0x01},
        {&raster_driver_float_exact, "Exakt,non-zbuffered software polgondriver", 0x00},
        {&raster_driver_fixed_nozbuffer, "ASM-opt non-zbuffered (256x256 tsize) software polygondrawer", 0x14},
        {&raster_driver_fixed_zbuffer, "ASM-opt zbuffered (256x256 tsize) software polygondrawer", 0x94},
        {&raster_driver_perspective, "Software perspective correct and Z-bufferd polygondrawer", 0xA0},
    };
    for (const Expect& e : expect) {
        EXPECT_STREQ(e.d->name, e.name);
        EXPECT_EQ(e.d->flags, e.flags) << e.name;
    }
    // Search order; the float z-buffered driver is not listed.
    const RasterDriver* order[] = {&raster_driver_perspective, &raster_driver_fixed_zbuffer,
                                   &raster_driver_fixed_nozbuffer, &raster_driver_float_exact,
                                   &raster_driver_safe};
    for (int i = 0; i < 5; i++) EXPECT_EQ(raster_drivers[i], order[i]) << i;
    EXPECT_EQ(raster_drivers[5], nullptr);
    // The fixed-point z-buffered driver fills line, flat, wire and textured only.
    for (int s = 0; s < RASTER_SLOTS; s++)
        EXPECT_EQ(raster_driver_fixed_zbuffer.slot[s] != nullptr, s == 0 || s == 1 || s == 2 || s == 4)
            << s;
}

TEST(RasterRegistry, SelectMatchesWholeFlagWordsAndFallsBackToSafe) {
    const RasterDriver* listed[] = {&raster_driver_perspective, &raster_driver_fixed_zbuffer,
                                    &raster_driver_fixed_nozbuffer, &raster_driver_float_exact,
                                    &raster_driver_safe};
    for (const RasterDriver* d : listed) {
        current_raster_driver = &recorder;
        EXPECT_EQ(raster_select(d->flags), 1) << d->name;
        EXPECT_EQ(current_raster_driver, d);
    }
    // 0x82 is not listed: the safe driver and 0. So is a word with one bit
    // more or less than a listed one.
    for (uint32_t flags : {0x82u, 0x84u, 0x95u, 0x04u, 0xFFFFFFFFu}) {
        raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
        EXPECT_EQ(raster_select(flags), 0) << flags;
        EXPECT_EQ(current_raster_driver, &raster_driver_safe) << flags;
    }
}

TEST(RasterDispatch, ModeMaskChoosesTheSlot) {
    struct Case {
        uint32_t flags;
        int slot;
    } cases[] = {
        {0x001, 1}, {0x004, 4}, {0x204, 5}, {0x404, 8}, {0x010, 18}, {0x210, 19}, {0x410, 20},
        // Every other combination is a single-colour fill.
        {0x000, 1}, {0x005, 1}, {0x00C, 1}, {0x201, 1}, {0x401, 1}, {0x604, 1}, {0x014, 1},
        {0x084, 1}, {0x024, 1}, {0x044, 1}, {0x600, 1},
        // Bits outside the mask do not change the choice.
        {0x004 | TPOLY_TWO_SIDED, 4}, {0x204 | TPOLY_EDGE01 | TPOLY_EDGE20, 5},
        {0x404 | 0x10000, 8},
    };
    for (const Case& c : cases) EXPECT_EQ(dispatched_slot(c.flags), c.slot) << std::hex << c.flags;
    // Wire mode goes to slot 2 whatever else is set.
    EXPECT_EQ(dispatched_slot(TPOLY_WIRE | TPOLY_TEXTURED | TPOLY_EDGE01), 2);
    EXPECT_EQ(dispatched_slot(TPOLY_WIRE | 0x204), 2);
}

TEST(RasterDispatch, BackFacesAreCulledUnlessTwoSided) {
    current_raster_driver = &recorder;
    tpoly t = front_triangle(TPOLY_FLAT);
    std::swap(t.vertex[1], t.vertex[2]);  // counter-clockwise on screen: c > 0
    calls.clear();
    raster_draw_triangle(&t, nullptr);
    EXPECT_TRUE(calls.empty());
    t.flags |= TPOLY_TWO_SIDED;
    raster_draw_triangle(&t, nullptr);
    EXPECT_EQ(calls.size(), 1u);

    // Degenerate (c = 0) triangles are drawn.
    tpoly line = front_triangle(TPOLY_FLAT);
    line.vertex[2] = {11, 1, 5};
    calls.clear();
    raster_draw_triangle(&line, nullptr);
    EXPECT_EQ(calls.size(), 1u);

    // A vertex at infinity or NaN is never handed to a driver.
    tpoly bad = front_triangle(TPOLY_FLAT | TPOLY_TWO_SIDED);
    bad.vertex[1].x = std::numeric_limits<float>::quiet_NaN();
    calls.clear();
    raster_draw_triangle(&bad, nullptr);
    bad.vertex[1].x = std::numeric_limits<float>::infinity();
    raster_draw_triangle(&bad, nullptr);
    EXPECT_TRUE(calls.empty());
}

TEST(RasterDispatch, CustomRoutineReplacesTheDriverAfterCulling) {
    current_raster_driver = &recorder;
    tpoly t = front_triangle(TPOLY_TEXTURED | TPOLY_CUSTOM | TPOLY_WIRE);
    t.draw_routine = custom_routine;
    calls.clear();
    custom_calls.clear();
    raster_draw_triangle(&t, nullptr);
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(custom_calls.size(), 1u);
    EXPECT_EQ(custom_calls[0], &t);

    std::swap(t.vertex[1], t.vertex[2]);  // a back face is culled before the custom routine
    raster_draw_triangle(&t, nullptr);
    EXPECT_EQ(custom_calls.size(), 1u);

    // TPOLY_CUSTOM without a routine falls through to the normal dispatch.
    tpoly n = front_triangle(TPOLY_TEXTURED | TPOLY_CUSTOM);
    raster_draw_triangle(&n, nullptr);
    EXPECT_EQ(calls, std::vector<int>{4});
}

TEST(RasterDispatch, MissingSlotsDrawNothingWithTheRealDriver) {
    Pixmap* pm = pixmap_create(8, 8, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_NE(pm, nullptr);
    std::vector<uint32_t> before(pm->pixels, pm->pixels + 64);
    ASSERT_EQ(raster_select(RASTER_FLAGS_FIXED_ZBUFFER), 1);
    // Flat-lit textures (slot 5) and wires without edges: nothing.
    std::vector<uint32_t> texels(256 * 256, 0xFFFFFFFFu);
    Pixmap tex{};
    tex.width = tex.height = 256;
    tex.pixels = texels.data();
    for (uint32_t flags : {0x204u, 0x104u, 0x410u}) {
        tpoly t = front_triangle(flags);
        t.texturemap = &tex;
        raster_draw_triangle(&t, pm);
        EXPECT_EQ(std::vector<uint32_t>(pm->pixels, pm->pixels + 64), before) << std::hex << flags;
    }
    // Flat and textured together are drawn as a single-colour fill.
    tpoly t = front_triangle(TPOLY_FLAT | TPOLY_TEXTURED);
    t.colour = 0xFF123456u;
    t.texturemap = &tex;
    raster_draw_triangle(&t, pm);
    EXPECT_EQ(pm->pixels[2 * 8 + 2], 0xFF123456u);
    pixmap_destroy(pm);
}
