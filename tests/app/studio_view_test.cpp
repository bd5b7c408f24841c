// The studio's overlay and reload on the headless host: F1 shows the overlay in
// the presented frame and never in the frames the effects draw over; R reads a
// changed picture from disk and shows it, and a damaged one keeps the old
// picture and says which file and why.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/demo.h"
#include "app/studio.h"
#include "app/studio_keys.h"
#include "app/studio_view.h"
#include "engine/image/jpeg.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tests/app/studio_child.h"

namespace {

using namespace studio_child;

uint64_t hash_presented() {
    int32_t w = 0, h = 0;
    const uint8_t* rgba = host_last_frame(&w, &h);
    return rgba ? hash_pixels(reinterpret_cast<const uint32_t*>(rgba), int64_t(w) * h) : 0;
}

}  // namespace

TEST(StudioView, TheOverlayIsShownAndNeverDrawnOver) {
    ROBUST_REQUIRE_DATA();
    // Order 8 after row 40 draws over its last frame (the fade-out): a frame the
    // overlay leaked into would differ from then on.
    robust::Report plain, shown;
    for (robust::Report* out : {&plain, &shown}) {
        const bool overlay = out == &shown;
        robust::ChildResult r = in_studio(robust::data_dir(), [&] {
            StudioWhen w;
            studio_parse_when("8:38", &w);
            if (!studio_seek(w, false)) return 4;
            if (overlay) press(VK_F1);
            for (int f = 0; f < 60; f++) {
                frame();
                out->put("screen" + std::to_string(f), int64_t(hash_screen()));
                out->put("presented" + std::to_string(f), int64_t(hash_presented()));
            }
            std::string lines[4];
            const int n = studio_view_lines(lines, 4);
            out->put("lines", n);
            out->put("names_position", lines[0].rfind("8:", 0) == 0);
            out->put("names_section", lines[1] == "hairy under klegg");
            out->put("names_scale", lines[2].find("SCALE 1") != std::string::npos);
            return 0;
        });
        ASSERT_EQ(r.status, 0) << r.err;
    }
    int same_screens = 0, other_presented = 0;
    for (int f = 1; f < 60; f++) {
        same_screens += plain.get("screen" + std::to_string(f)) == shown.get("screen" + std::to_string(f), 1);
        other_presented += plain.get("presented" + std::to_string(f)) != shown.get("presented" + std::to_string(f));
    }
    EXPECT_EQ(same_screens, 59) << "the drawn frames are the same with the overlay";
    EXPECT_EQ(other_presented, 59) << "the shown frames carry the overlay";
    EXPECT_EQ(shown.get("lines"), 3);
    EXPECT_EQ(shown.get("names_position"), 1);
    EXPECT_EQ(shown.get("names_section"), 1);
    EXPECT_EQ(shown.get("names_scale"), 1);
}

TEST(StudioView, ReloadShowsAChangedPictureAndKeepsTheOldOneForADamagedFile) {
    ROBUST_REQUIRE_DATA();
    robust::DataCopy data;
    robust::Report got;
    const std::string other = robust::DataCopy::original("data/knot/img.jpg");
    const std::string original = robust::DataCopy::original("t8-greyb.jpg");
    robust::ChildResult r = in_studio(data.dir, [&] {
        StudioWhen w;
        studio_parse_when("10:0", &w);  // the knot over the background picture
        if (!studio_seek(w, false)) return 4;
        frame();
        press(VK_SPACE);
        frame();
        const uint64_t before = hash_screen();
        const uint64_t picture = hash_pixels(demo.bakg->pixels, 320 * 240);

        data.replace("t8-greyb.jpg", other);
        press('R');
        frame();
        Pixmap* expected = jpeg_load2pixmap("data/knot/img.jpg");
        got.put("new_picture", expected && hash_pixels(demo.bakg->pixels, 320 * 240) ==
                                               hash_pixels(expected->pixels, 320 * 240));
        got.put("new_frame", hash_screen() != before);
        got.put("still_paused", music_is_paused());
        got.put("same_place", demo.position->order.load() == 10);
        got.put("said_reloaded", studio_view.message.rfind("reloaded", 0) == 0);

        const uint64_t changed = hash_pixels(demo.bakg->pixels, 320 * 240);
        data.replace("t8-greyb.jpg", original.substr(0, 100));  // cut short inside its headers
        press('R');
        frame();
        got.put("kept", hash_pixels(demo.bakg->pixels, 320 * 240) == changed);
        got.put("said_which", studio_view.message.find("t8-greyb.jpg") == 0);
        got.put("said_kept", studio_view.message.find("kept the old one") != std::string::npos);
        got.put("first_was_other", picture != changed);
        return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got.get("new_picture"), 1);
    EXPECT_EQ(got.get("new_frame"), 1);
    EXPECT_EQ(got.get("still_paused"), 1);
    EXPECT_EQ(got.get("same_place"), 1);
    EXPECT_EQ(got.get("said_reloaded"), 1);
    EXPECT_EQ(got.get("kept"), 1);
    EXPECT_EQ(got.get("said_which"), 1);
    EXPECT_EQ(got.get("said_kept"), 1);
    EXPECT_EQ(got.get("first_was_other"), 1);
    EXPECT_NE(r.err.find("reload: t8-greyb.jpg"), std::string::npos) << r.err;
}
