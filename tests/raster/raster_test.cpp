// The rasterizer registry and dispatcher: what the capability words select, the
// selection fallback, back-face culling, custom and wire routes, and the slot
// each drawing mode reaches.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "tests/lib/pixmap_fixture.h"

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

// The capability words callers pass select drivers that behave as the words
// say: the z-buffered ones leave a nearer surface alone, the others draw over
// it; on an empty depth plane every one draws. Each driver's name is its own.
TEST(RasterRegistry, CapabilityWordsSelectDriversThatDrawByThem) {
    struct Case {
        uint32_t flags;
        const RasterDriver* driver;
        bool depth_tested;
    } cases[] = {
        {RASTER_FLAGS_PERSPECTIVE, &raster_driver_perspective, true},
        {RASTER_FLAGS_FIXED_ZBUFFER, &raster_driver_fixed_zbuffer, true},
        {RASTER_FLAGS_FIXED_NOZBUFFER, &raster_driver_fixed_nozbuffer, false},
        {RASTER_FLAGS_FLOAT_EXACT, &raster_driver_float_exact, false},
        {RASTER_FLAGS_SAFE, &raster_driver_safe, false},
    };
    TestPixmap tex(256, 256);
    tex.clear(0xFFFFFFFFu);
    for (const Case& c : cases) {
        ASSERT_EQ(raster_select(c.flags), 1) << std::hex << c.flags;
        EXPECT_EQ(current_raster_driver, c.driver) << std::hex << c.flags;
        for (bool nearer_surface : {false, true}) {
            TestPixmap target(16, 16, PIXMAP_ZBUFFER);
            if (nearer_surface) std::fill_n(target->zbuffer, 256, INT32_MIN);
            tpoly t = front_triangle(TPOLY_TEXTURED);
            t.texturemap = tex.get();
            for (int k = 0; k < 6; k++) t.uv[k] = 8.0f;
            raster_draw_triangle(&t, target.get());
            const bool drawn = target.count_not(0) > 0;
            EXPECT_EQ(drawn, !(nearer_surface && c.depth_tested))
                << c.driver->name << (nearer_surface ? ", nearer surface" : ", empty depth");
        }
    }
    std::set<std::string> names;
    for (const RasterDriver* d : {&raster_driver_float_zbuffer, &raster_driver_float_exact,
                                  &raster_driver_fixed_nozbuffer, &raster_driver_fixed_zbuffer, &raster_driver_safe,
                                  &raster_driver_perspective}) {
        ASSERT_NE(d->name, nullptr);
        EXPECT_NE(d->name[0], '\0');
        names.insert(d->name);
    }
    EXPECT_EQ(names.size(), 6u);
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
    TestPixmap pm(8, 8, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    const std::vector<uint32_t> before = pm.plane();
    ASSERT_EQ(raster_select(RASTER_FLAGS_FIXED_ZBUFFER), 1);
    // Flat-lit textures (slot 5) and wires without edges: nothing.
    TestPixmap tex(256, 256);
    tex.clear(0xFFFFFFFFu);
    for (uint32_t flags : {0x204u, 0x104u, 0x410u}) {
        tpoly t = front_triangle(flags);
        t.texturemap = tex.get();
        raster_draw_triangle(&t, pm.get());
        EXPECT_EQ(pm.plane(), before) << std::hex << flags;
    }
    // Flat and textured together are drawn as a single-colour fill.
    tpoly t = front_triangle(TPOLY_FLAT | TPOLY_TEXTURED);
    t.colour = 0xFF123456u;
    t.texturemap = tex.get();
    raster_draw_triangle(&t, pm.get());
    EXPECT_EQ(pm.at(2, 2), 0xFF123456u);
}

// What a person reads when nothing is drawn: one line per cause, the first
// triangle's numbers kept, nothing drawn differently, all forgotten at the next
// raster_select. The unknown word keeps its result and the safe driver.
TEST(RasterNotes, EachRefusalIsNotedOnceUntilTheNextSelect) {
    TestPixmap tex64(64, 64), tex512(512, 256), tex256(256, 256);
    for (TestPixmap* t : {&tex64, &tex512, &tex256}) t->clear(0xFFFFFFFFu);
    struct Case {
        const char* name;
        uint32_t driver, flags;
        Pixmap* texture;
        int32_t uv_index;
        bool zbuffer, wound_back;
        uint32_t note;
        const char* says;
        bool drawn;
    } cases[] = {
        {"64 x 64 on 0x94", 0x94, TPOLY_TEXTURED, tex64.get(), 0, true, false, RASTER_NOTE_TEXTURE_SIZE,
         "texture is 64 x 64, smaller than the 256 x 256", false},
        {"512 wide on 0x94", 0x94, TPOLY_TEXTURED, tex512.get(), 0, true, false, RASTER_NOTE_TEXTURE_SIZE,
         "reads its 512 x 256 texture as a 256 x 256 table", true},
        {"64 x 64 on 0x14", 0x14, TPOLY_TEXTURED, tex64.get(), 0, false, false, RASTER_NOTE_TEXTURE_SIZE,
         "held at its last pixel", true},
        {"null texture", 0x00, TPOLY_TEXTURED, nullptr, 0, false, false, RASTER_NOTE_NO_TEXTURE,
         "0x00 driver drew no textured triangle: its texturemap is null", false},
        {"uv index outside", 0xA0, TPOLY_TEXTURED, tex256.get(), 31, true, false, RASTER_NOTE_UV_INDEX,
         "uv_index[0] is 31", false},
        {"no z-buffer", 0x94, TPOLY_FLAT, nullptr, 0, false, false, RASTER_NOTE_TARGET, "no z-buffer", false},
        {"no slot", 0x94, TPOLY_TEXTURED | TPOLY_FLAT_LIGHT, tex256.get(), 0, true, false, RASTER_NOTE_NO_SLOT,
         "no routine for flat-lit textured triangles (flags 0x0204)", false},
        {"back face", 0x01, TPOLY_FLAT, nullptr, 0, false, true, RASTER_NOTE_BACK_FACE,
         "corners (1.0, 1.0) (1.0, 6.0) (6.0, 1.0) run counter-clockwise", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPixmap pm(8, 8, (c.zbuffer ? uint32_t(PIXMAP_ZBUFFER) : 0u) | PIXMAP_CLEAR);
        const std::vector<uint32_t> before = pm.plane();
        ASSERT_EQ(raster_select(c.driver), 1);
        EXPECT_EQ(raster_notes(), 0u);
        EXPECT_STREQ(raster_error_detail(), "");
        for (int k = 0; k < 2; k++) {  // the second triangle's corners are not reported
            tpoly t = front_triangle(c.flags);
            if (c.wound_back) std::swap(t.vertex[1], t.vertex[2]);
            t.vertex[0].x += (float)k;
            t.texturemap = c.texture;
            t.uv_index[0] = c.uv_index;
            raster_draw_triangle(&t, pm.get());
        }
        raster_flush();
        EXPECT_EQ(raster_notes(), c.note);
        const std::string detail = raster_error_detail();
        EXPECT_NE(detail.find(c.says), std::string::npos) << detail;
        EXPECT_EQ(detail.find('\n'), std::string::npos) << detail;  // one line: noted once
        EXPECT_EQ(pm.plane() != before, c.drawn);
    }
    // Two causes give two lines in the order of their bits.
    TestPixmap pm(8, 8);
    tpoly untextured = front_triangle(TPOLY_TEXTURED);
    raster_draw_triangle(&untextured, pm.get());
    EXPECT_EQ(raster_notes(), RASTER_NOTE_BACK_FACE | RASTER_NOTE_NO_TEXTURE);
    const std::string two = raster_error_detail();
    EXPECT_EQ(std::count(two.begin(), two.end(), '\n'), 1) << two;
    EXPECT_LT(two.find("back face"), two.find("texturemap is null")) << two;
    // The unknown word: still 0 and the safe driver, now with a line that says so.
    EXPECT_EQ(raster_select(0x82), 0);
    EXPECT_EQ(current_raster_driver, &raster_driver_safe);
    EXPECT_EQ(raster_notes(), RASTER_NOTE_UNKNOWN_FLAGS);
    EXPECT_NE(std::string(raster_error_detail()).find("raster_select(0x82): no driver has these flags; the safe "
                                                      "driver (0x01) is current"),
              std::string::npos);
    raster_clear_notes();
    EXPECT_EQ(raster_notes(), 0u);
}
