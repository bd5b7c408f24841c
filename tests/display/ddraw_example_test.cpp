// The DirectDraw example program, unchanged, on the headless host: it runs frame
// by frame on the virtual clock, shows its test picture and ends on Escape or on
// the close button.
#include <gtest/gtest.h>

#define main ddraw_example_main
#include "examples/ddraw_example.cpp"
#undef main

#include "tests/display/display_test_util.h"

struct Stopper {
    uint64_t stop_at;
    bool by_close;
    uint64_t frames;
};

static void stop_after(const uint8_t*, int32_t, int32_t, uint64_t index, void* user) {
    Stopper* s = (Stopper*)user;
    s->frames = index + 1;
    if (index + 1 == s->stop_at) s->by_close ? host_inject_close() : host_inject_key(VK_ESCAPE, true);
}

TEST(DDrawExample, RunsUntilEscapeOrCloseAtTheFrameRate) {
    for (bool by_close : {false, true}) {
        host_reset();
        // Injected after frame 89 is shown, read by the next frame's message pump: 90 frames in all.
        Stopper s = {89, by_close, 0};
        host_set_frame_callback(stop_after, &s);
        testing::internal::CaptureStdout();
        EXPECT_EQ(ddraw_example_main(), 0);
        std::string out = testing::internal::GetCapturedStdout();
        host_set_frame_callback(nullptr, nullptr);
        EXPECT_NE(out.find("DirectX 3+ Driver v 0.1 for Tavik"), std::string::npos);
        EXPECT_NE(out.find("90 frames"), std::string::npos) << out;
        EXPECT_EQ(s.frames, 90u);
        // One vertical blank per frame: 90 frames are 1.5 s of virtual time.
        EXPECT_EQ(host_clock_us(), 1500000u);
        // The picture: white bar at the left, black bar at the right, in 5-6-5.
        EXPECT_EQ(frame_pixel(2, 2), 0xF7FBF7u);
        EXPECT_EQ(frame_pixel(317, 2), 0u);
        EXPECT_EQ(frame_pixel(160, 130), frame_pixel(160, 150));  // the grey ramp is vertical bands
        host_inject_key(VK_ESCAPE, false);
    }
}
