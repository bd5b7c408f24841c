// The running demo under faults, on the headless host, each run in a child
// process with fresh state: missing or damaged pictures, textures and music give
// the designed message box (its text and caption on standard error), status 1 and
// nothing else; focus lost and regained; the window closed in the middle of a
// frame, which ends the run as Escape does.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

#include "app/demo.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tests/app/demo_child.h"

namespace {

using robust::ChildResult;
using robust::DataCopy;
using robust::Report;

// The demo with Escape pressed after `frames` frames, should it get that far.
ChildResult run_demo(const DataCopy& data, int frames = 30) {
    static int escape_at;
    escape_at = frames;
    return robust::run_child(data.dir, [] {
        return demo_run([](uint64_t frame, void*) {
            if (frame == static_cast<uint64_t>(escape_at)) host_inject_key(0x1B, true);
        }, nullptr);
    });
}

// A run that ends at Escape with nothing said on standard error.
void expect_clean_run(const ChildResult& r, const std::string& what) {
    EXPECT_EQ(r.signal, 0) << what;
    EXPECT_EQ(r.status, 0) << what;
    EXPECT_EQ(r.err, "") << what;
}

// A message box on the headless host is one line "caption: text" on standard error.
void expect_box(const ChildResult& r, const std::string& caption, const std::string& text, const std::string& what) {
    EXPECT_EQ(r.signal, 0) << what;
    EXPECT_EQ(r.status, 1) << what;
    EXPECT_EQ(r.err, caption + ": " + text + "\n") << what;
}

// The start-up guard's box: the expression text with the file and line.
void expect_guard(const ChildResult& r, const std::string& expression, const std::string& what) {
    EXPECT_EQ(r.signal, 0) << what;
    EXPECT_EQ(r.status, 1) << what;
    const std::regex box("Wendril: Assertion failed!\n\nFile: [^\n]+\\.cpp\nLine: [0-9]+\n\nExpression: (.*)\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.err, m, box)) << what << ": standard error was\n" << r.err;
    EXPECT_EQ(m[1].str(), expression) << what;
}

std::string truncated(const std::string& bytes, double share) {
    return bytes.substr(0, static_cast<size_t>(bytes.size() * share));
}

// Bytes that are no known format, deterministic.
std::string noise(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

}  // namespace

TEST(DemoFaults, IntactDataSetStartsAndEscapeEndsWithStatusZero) {
    ROBUST_REQUIRE_DATA();
    DataCopy data;
    expect_clean_run(run_demo(data, 5), "intact data set");
}

TEST(DemoFaults, MissingOrDamagedMusicShowsAutoInit) {
    ROBUST_REQUIRE_DATA();
    const std::string xm = DataCopy::original("ragga.xm");
    struct Case {
        const char* what;
        std::string bytes;
        bool missing;
    } cases[] = {
        {"missing", "", true},
        {"empty", "", false},
        {"noise", noise(20000), false},
        {"a picture under the module's name", DataCopy::original("slutbild.gif"), false},
        {"the XM signature and nothing else", xm.substr(0, 17), false},
    };
    for (const Case& c : cases) {
        DataCopy data;
        if (c.missing) data.remove("ragga.xm");
        else data.replace("ragga.xm", c.bytes);
        expect_box(run_demo(data), "error", "AutoInit", c.what);
    }
}

TEST(DemoFaults, ATruncatedModuleIsRefusedOrPlayedSafely) {
    ROBUST_REQUIRE_DATA();
    const std::string xm = DataCopy::original("ragga.xm");
    for (double share : {0.02, 0.3, 0.7}) {
        DataCopy data;
        data.replace("ragga.xm", truncated(xm, share));
        const ChildResult r = run_demo(data, 300);
        const std::string what = "module cut to " + std::to_string(share);
        EXPECT_EQ(r.signal, 0) << what;
        if (r.status == 1)
            EXPECT_EQ(r.err, "error: AutoInit\n") << what;
        else
            EXPECT_EQ(r.status, 0) << what << ": played 300 frames and ended at Escape\n" << r.err;
    }
}

TEST(DemoFaults, MissingOrDamagedPicturesStopAtTheirGuard) {
    ROBUST_REQUIRE_DATA();
    const std::string bakg = "bakg=jpeg_load2pixmap(\"t8-greyb.jpg\")";
    const std::string endpic = "endpic=gif_load2pixmap(\"slutbild.gif\")";
    const std::string jpg = DataCopy::original("t8-greyb.jpg");
    const std::string gif = DataCopy::original("slutbild.gif");
    struct Case {
        const char* what;
        const char* file;
        std::string bytes;
        bool missing;
        std::string expression;
    } cases[] = {
        {"background missing", "t8-greyb.jpg", "", true, bakg},
        {"background empty", "t8-greyb.jpg", "", false, bakg},
        {"background noise", "t8-greyb.jpg", noise(5000), false, bakg},
        {"background is a GIF", "t8-greyb.jpg", gif, false, bakg},
        {"end picture missing", "slutbild.gif", "", true, endpic},
        {"end picture cut in half", "slutbild.gif", truncated(gif, 0.5), false, endpic},
        {"end picture header only", "slutbild.gif", gif.substr(0, 13), false, endpic},
        {"end picture is a JPEG", "slutbild.gif", jpg, false, endpic},
    };
    for (const Case& c : cases) {
        DataCopy data;
        if (c.missing) data.remove(c.file);
        else data.replace(c.file, c.bytes);
        expect_guard(run_demo(data), c.expression, c.what);
    }
    // A JPEG cut short decodes, its missing end filled in; the JPEG library says so
    // with its own warning line, and the demo runs.
    DataCopy data;
    data.replace("t8-greyb.jpg", truncated(jpg, 0.5));
    const ChildResult r = run_demo(data);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Premature end of JPEG file\n");
}

TEST(DemoFaults, DamagedTexturesStopTheirEffect) {
    ROBUST_REQUIRE_DATA();
    {
        DataCopy data;
        data.replace("data/hairy/envmap03.pcx", truncated(DataCopy::original("data/hairy/envmap03.pcx"), 0.3));
        expect_box(run_demo(data), "ERROR", "Unable to create hariy!", "hairy background texture cut");
    }
    {
        DataCopy data;
        data.replace("data/knot/img.jpg", noise(3000));
        expect_box(run_demo(data), "Error", "Unable to create zfx!", "zfx background noise");
    }
    {
        DataCopy data;
        data.replace("r\xC3\xB6" "d.jpg", DataCopy::original("slutbild.gif"));
        expect_guard(run_demo(data), "s_envmap = jpeg_load2pixmap(\"r\xC3\xB6" "d.jpg\")", "klegg map is a GIF");
    }
}

// Focus goes at frame 60 and comes back at frame 180; the run ends at 240.
TEST(DemoFaults, FocusLostAndRegainedKeepsTheMusicAndResumesTheFrames) {
    ROBUST_REQUIRE_DATA();
    DataCopy data;
    Report report;
    const ChildResult r = robust::run_child(data.dir, [&report] {
        return demo_run([](uint64_t frame, void* user) {
            const Report& rep = *static_cast<const Report*>(user);
            const MusicPosition* p = demo.position;
            // Without focus the driver skips its vertical-blank wait, which is what
            // moves the headless clock; on a machine the wall clock goes on, so
            // the test moves it one frame period a pass.
            if (frame > 60 && frame < 180) host_clock_advance_frame();
            if (frame == 60) {
                rep.put("presented_before", static_cast<long long>(host_frame_count()));
                rep.put("ticks_before", static_cast<long long>(p->count));
                host_inject_focus(false);
            }
            if (frame == 179) {
                rep.put("presented_unfocused", static_cast<long long>(host_frame_count()));
                rep.put("ticks_unfocused", static_cast<long long>(p->count));
                host_inject_focus(true);
            }
            if (frame == 240) {
                rep.put("presented_after", static_cast<long long>(host_frame_count()));
                // The last frame shown is this frame's virtual screen, at 16 bits a pixel.
                int32_t w = 0, h = 0;
                const uint8_t* shown = host_last_frame(&w, &h);
                long long off = 0;
                if (shown && w == 320 && h == 240) {
                    for (int i = 0; i < 320 * 240; i++) {
                        const uint32_t v = demo.vscreen->pixels[i];
                        const int want[3] = {int(v & 255), int(v >> 8 & 255), int(v >> 16 & 255)};
                        const int slack[3] = {16, 8, 16};  // 5-6-5 bits, rounded down
                        for (int c = 0; c < 3; c++)
                            if (std::abs(shown[4 * i + c] - want[c]) > slack[c]) off++;
                    }
                } else {
                    off = -1;
                }
                rep.put("channels_off", off);
                host_inject_key(0x1B, true);
            }
        }, &report);
    });
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // The clock and the music go on without focus: about 2 s of 14 ms ticks.
    EXPECT_GT(report.get("ticks_unfocused") - report.get("ticks_before"), 120);
    EXPECT_GT(report.get("presented_before"), 50);
    // With focus back, frames are shown again and they are the demo's own.
    EXPECT_GT(report.get("presented_after"), report.get("presented_unfocused") + 50);
    EXPECT_EQ(report.get("channels_off"), 0);
}

// The window's close button arrives while a frame is being presented (the frame
// callback runs inside the driver's blit); the loop ends after that frame with
// status 0, as after Escape.
TEST(DemoFaults, WindowClosedMidFrameEndsLikeEscape) {
    ROBUST_REQUIRE_DATA();
    for (int when : {0, 1, 37}) {
        DataCopy data;
        Report report;
        const ChildResult r = robust::run_child(data.dir, [&report, when] {
            static int close_at;
            static const Report* rep;
            close_at = when;
            rep = &report;
            host_set_frame_callback([](const uint8_t*, int32_t, int32_t, uint64_t index, void*) {
                if (index == static_cast<uint64_t>(close_at)) host_inject_close();
            }, nullptr);
            const int status = demo_run([](uint64_t frame, void*) {
                rep->put("frames", static_cast<long long>(frame) + 1);
                rep->put("presented", static_cast<long long>(host_frame_count()));
            }, nullptr);
            rep->put("status", status);
            return status;
        });
        const std::string what = "closed at presented frame " + std::to_string(when);
        EXPECT_EQ(r.signal, 0) << what;
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_EQ(r.err, "") << what;
        // The close is read by the next frame end's message pump at the latest.
        EXPECT_LE(report.get("presented"), when + 3) << what;
        EXPECT_GE(report.get("presented"), when + 1) << what;
    }
}
