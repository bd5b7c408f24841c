// The running order on the headless host with the default data set: what each
// order range draws, the fade weights at their edges, the ending loop, the key
// drain, a run through the whole timeline without memory growing per frame,
// and the start-up failures for missing files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/demo.h"
#include "app/hairy.h"
#include "engine/display/gfx.h"
#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"

namespace {

const std::string DATA = std::string(TAVIK_BINARY_DIR) + "/data";

bool have_data() {
    struct stat st;
    return stat((DATA + "/ragga.xm").c_str(), &st) == 0 && stat((DATA + "/slutbild.gif").c_str(), &st) == 0;
}

#define REQUIRE_DATA()                                                                                 \
    if (!have_data()) GTEST_FAIL() << "no default data set in " << DATA << " (the build writes it)"

// Starts the demo once per process, from the data directory.
void start_once() {
    static bool started = false;
    if (started) return;
    ASSERT_EQ(chdir(DATA.c_str()), 0);
    ASSERT_EQ(demo_start(), 0);
    started = true;
}

int count_pixels(const Pixmap* pm, uint32_t value) {
    int n = 0;
    for (int i = 0; i < pm->width * pm->height; i++) n += pm->pixels[i] == value;
    return n;
}

// Draws one pass of the timeline from a position record of the test's own.
struct Timeline {
    MusicPosition fake{};
    MusicPosition* real = nullptr;
    Timeline() {
        start_once();
        real = demo.position;
        demo.position = &fake;
    }
    ~Timeline() { demo.position = real; }
    void draw(uint32_t order, uint32_t row, float ticks, float frame_ticks = 1.0f) {
        fake.order = order;
        fake.row = row;
        fake.ticks = ticks;
        fake.frame_ticks = frame_ticks;
        demo_draw();
    }
};

}  // namespace

TEST(DemoTimeline, EachOrderRangePicksItsSection) {
    EXPECT_STREQ(demo_section(0)->name, "klegg over the tunnel");
    EXPECT_STREQ(demo_section(4)->name, "klegg over the tunnel");
    EXPECT_STREQ(demo_section(5)->name, "hairy under klegg");
    EXPECT_STREQ(demo_section(8)->name, "hairy under klegg");
    EXPECT_STREQ(demo_section(9)->name, "knot over the picture");
    EXPECT_STREQ(demo_section(12)->name, "knot over the picture");
    EXPECT_STREQ(demo_section(13)->name, "blob over the picture");
    EXPECT_STREQ(demo_section(14)->name, "blob over the picture");
    EXPECT_STREQ(demo_section(15)->name, "zfx with credits");
    EXPECT_STREQ(demo_section(17)->name, "zfx with credits");
    EXPECT_STREQ(demo_section(18)->name, "knot on black");
    EXPECT_STREQ(demo_section(19)->name, "knot on black");
    EXPECT_STREQ(demo_section(20)->name, "end picture");
    EXPECT_STREQ(demo_section(0xFFFFFFFFu)->name, "end picture");
    EXPECT_EQ(demo.fadeout_start, -1.0f);
    EXPECT_EQ(demo.section_start, 0.0f);
}

TEST(DemoTimeline, FramesShowTheirEffects) {
    REQUIRE_DATA();
    Timeline t;
    Pixmap* vs = demo.vscreen;
    // Order 0: black with a lit ball in the centre.
    t.draw(0, 1, 10.0f);
    EXPECT_EQ(vs->pixels[0], 0u);
    EXPECT_GT(count_pixels(vs, 0), 320 * 240 / 2);
    EXPECT_NE(vs->pixels[vs->rows[120] + 160], 0u);
    EXPECT_EQ(demo.section_start, 10.0f);
    // Orders 20 and 21: exactly the end picture.
    for (uint32_t order : {20u, 21u, 22u}) {
        t.draw(order, 0, 5000.0f);
        for (int i = 0; i < 320 * 240; i++) ASSERT_EQ(vs->pixels[i], demo.endpic->pixels[i]) << "order " << order;
    }
    // Order 13: the blob over the picture, which shows around it.
    t.draw(13, 0, 3000.0f);
    int picture = 0;
    for (int i = 0; i < 320 * 240; i++) picture += vs->pixels[i] == demo.bakg->pixels[i];
    EXPECT_GT(picture, 320 * 240 / 3);
    EXPECT_LT(picture, 320 * 240 - 1000) << "and the blob covers part of it";
    // Order 18: the knot on black.
    t.draw(18, 3, 4000.0f);
    EXPECT_GT(count_pixels(vs, 0), 320 * 240 / 4);
    EXPECT_LT(count_pixels(vs, 0), 320 * 240 - 1000);
}

TEST(DemoTimeline, FadeWeightsAtTheirEdges) {
    REQUIRE_DATA();
    Timeline t;
    Pixmap* vs = demo.vscreen;
    t.draw(4, 10, 1000.0f);  // order 4 was seen last at tick 1000
    // Order 5 at the same tick: the hairs are fully covered by black (corners black).
    t.draw(5, 0, 1000.0f);
    EXPECT_EQ(vs->pixels[0], 0u);
    EXPECT_EQ(vs->pixels[vs->rows[239] + 319], 0u);
    // 30 ticks on, no fade: the sphere background shows in the corners.
    t.draw(5, 0, 1030.0f);
    EXPECT_NE(vs->pixels[0], 0u);
    // Order 9, 100 ticks after order 4: the picture no longer fades; the corner is the picture.
    t.draw(9, 0, 1100.0f);
    EXPECT_EQ(vs->pixels[0], demo.bakg->pixels[0]);
    // Order 9 at the same tick as order 4: the picture is all black.
    t.draw(9, 0, 1000.0f);
    EXPECT_EQ(vs->pixels[0], 0u);

    // Order 8 above row 32 starts the fade-out once; it reaches black after 50 ticks.
    const float radius = hairy.background_radius;
    t.draw(8, 33, 2000.0f);
    EXPECT_EQ(demo.fadeout_start, 2000.0f);
    EXPECT_NE(hairy.background_radius, radius) << "rows up to 40 still draw the hairs";
    t.draw(8, 34, 2025.0f);
    EXPECT_EQ(demo.fadeout_start, 2000.0f);
    t.draw(8, 40, 2050.0f);
    EXPECT_EQ(count_pixels(vs, 0), 320 * 240) << "weight 1.0: all black";
    // From row 41 the hairs are no longer drawn; the fade stays full.
    const float after = hairy.background_radius;
    t.draw(8, 41, 2080.0f);
    EXPECT_EQ(hairy.background_radius, after);
    EXPECT_EQ(count_pixels(vs, 0), 320 * 240);
    t.draw(8, 33, 2100.0f);
    EXPECT_EQ(demo.fadeout_start, 2000.0f) << "never restarted";
}

TEST(DemoFrameEnd, OrderTwentyTwoSetsTheMusicBackToTwenty) {
    REQUIRE_DATA();
    start_once();
    ASSERT_EQ(music_set_order(22), 1);
    bool saw_22 = false, back = false;
    for (int frame = 0; frame < 600 && !back; frame++) {
        const uint32_t order = demo.position->order;
        if (order >= 22) saw_22 = true;
        if (saw_22 && (order == 20 || order == 21)) back = true;
        demo_draw();
        demo_frame_end();
        ASSERT_LE(uint32_t(demo.position->order), 22u);
    }
    EXPECT_TRUE(saw_22);
    EXPECT_TRUE(back);
}

TEST(DemoFrameEnd, EscapeAmongQueuedKeysEndsTheLoopAfterThatFrame) {
    REQUIRE_DATA();
    start_once();
    demo.quit = 0;
    host_inject_key('A', true);
    host_inject_key(0x1B, true);
    host_inject_key('B', true);
    demo_frame_end();
    EXPECT_EQ(demo.quit, 1);
    EXPECT_EQ(current_gfx_driver->get_key(), 0) << "every queued key was read";
    // A key without an engine code stops the drain; the Escape behind it waits a frame.
    demo.quit = 0;
    host_inject_key(0x70, true);  // F1: no engine code
    host_inject_key(0x1B, true);
    demo_frame_end();
    EXPECT_EQ(demo.quit, 0);
    demo_frame_end();
    EXPECT_EQ(demo.quit, 1);
    demo.quit = 0;
}

// Links every entry of the data set but one into a new directory.
std::string data_without(const char* missing) {
    char tmpl[] = "/tmp/wendril_data_XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string cmd = "cd '" + DATA + "' && for f in *; do [ \"$f\" = '" + missing + "' ] || ln -s \"$PWD/$f\" '" +
                            dir + "/'; done";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
    return dir;
}

TEST(DemoStartDeathTest, MissingFilesShowTheirMessageAndEndWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    char tmpl[] = "/tmp/wendril_empty_XXXXXX";
    const std::string empty = mkdtemp(tmpl);
    EXPECT_EXIT(
        {
            if (chdir(empty.c_str()) != 0) std::exit(3);
            std::exit(demo_run(nullptr, nullptr));
        },
        testing::ExitedWithCode(1), "Unable to create zfx!");
    REQUIRE_DATA();
    const std::string no_music = data_without("ragga.xm");
    EXPECT_EXIT(
        {
            if (chdir(no_music.c_str()) != 0) std::exit(3);
            std::exit(demo_run(nullptr, nullptr));
        },
        testing::ExitedWithCode(1), "AutoInit");
    const std::string no_picture = data_without("t8-greyb.jpg");
    EXPECT_EXIT(
        {
            if (chdir(no_picture.c_str()) != 0) std::exit(3);
            std::exit(demo_run(nullptr, nullptr));
        },
        testing::ExitedWithCode(1), "bakg=jpeg_load2pixmap");
    const std::string no_end = data_without("slutbild.gif");
    EXPECT_EXIT(
        {
            if (chdir(no_end.c_str()) != 0) std::exit(3);
            std::exit(demo_run(nullptr, nullptr));
        },
        testing::ExitedWithCode(1), "endpic=gif_load2pixmap");
    std::system(("rm -rf '" + empty + "' '" + no_music + "' '" + no_picture + "' '" + no_end + "'").c_str());
}

TEST(DemoRun, WholeTimelineToTheEndLoopWithoutMemoryGrowingPerFrame) {
    REQUIRE_DATA();
    start_once();
    demo.quit = 0;
    ASSERT_EQ(music_restart(), 1);
    GmemStats first{}, now{};
    bool seen[23] = {};
    bool looped = false;
    for (int frame = 0; frame < 40000 && !looped; frame++) {
        const uint32_t order = demo.position->order;
        ASSERT_LE(order, 22u);
        // Back at 20 after 21: the ending loops.
        if (order == 20 && seen[21]) looped = true;
        seen[order] = true;
        demo_draw();
        demo_frame_end();
        gmem_stats(&now);
        if (frame == 1) first = now;
        if (frame > 1) {
            ASSERT_EQ(now.blocks, first.blocks) << "frame " << frame << " order " << order;
            ASSERT_EQ(now.bytes, first.bytes) << "frame " << frame << " order " << order;
        }
    }
    for (int o = 0; o <= 21; o++) EXPECT_TRUE(seen[o]) << "order " << o << " never shown";
    EXPECT_TRUE(looped) << "the ending did not loop from 21 back to 20";
}
