// The surface conversions: the channel tables' closed form and the four-pixel
// spans held bit for bit to the table lookups on random pixels.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/display/pixel_spans.h"

TEST(ChannelTables, ScaleEachChannelToItsMaskAndKnowTheirClosedForm) {
    struct Case { uint32_t r, g, b; bool closed; uint32_t white, one; };
    const Case cases[] = {
        {0xF800, 0x07E0, 0x001F, true, 0xF7DE, 0},                // 5-6-5: 255 gives 30, 62, 30
        {0x7C00, 0x03E0, 0x001F, true, 0x7BDE, 0},                // 5-5-5
        {0xFF0000, 0xFF00, 0xFF, true, 0xFEFEFE, 0},              // 8 bits: 255 gives 254, 1 gives 0
        {0xFF, 0xFF00, 0xFF0000, true, 0xFEFEFE, 0},
        {0, 0xFF00, 0, true, 0xFE00, 0},                          // missing channels stay dark
        {0x3FF00000, 0xFFC00, 0x3FF, false, 0x3FBFEFFB, 0x00300C03},  // 10 bits (1019, 3): tables only
    };
    for (const Case& c : cases) {
        ChannelTables t;
        channel_tables(&t, c.r, c.g, c.b);
        EXPECT_EQ(t.closed, c.closed) << std::hex << c.r;
        EXPECT_EQ(channel_pixel(&t, 0xFFFFFFFF), c.white) << std::hex << c.r;
        EXPECT_EQ(channel_pixel(&t, 0x00010101), c.one) << std::hex << c.r;
    }
}

TEST(PixelSpans, FourAtATimeMatchesTheTablesOnRandomPixels) {
    const uint32_t masks[][3] = {{0xF800, 0x07E0, 0x001F}, {0x7C00, 0x03E0, 0x001F}, {0xFF0000, 0xFF00, 0xFF},
                                 {0xFF, 0xFF00, 0xFF0000}, {0xE0, 0x1C, 0x03},       {0x3FF00000, 0xFFC00, 0x3FF}};
    std::mt19937 rng(5);
    for (const auto& m : masks) {
        ChannelTables t;
        channel_tables(&t, m[0], m[1], m[2]);
        for (int32_t n : {0, 1, 3, 4, 5, 8, 13, 320}) {
            for (bool doubled : {false, true}) {
                std::vector<uint32_t> src(n + 1);
                for (uint32_t& p : src) p = rng();
                const size_t len = size_t(doubled ? 2 * n : n) + 3;  // +3 catches overruns
                std::vector<uint16_t> a16(len, 0xBEEF), b16(len, 0xBEEF);
                std::vector<uint32_t> a32(len, 0xDEADBEEF), b32(len, 0xDEADBEEF);
                // One pixel in: the spans must not assume an aligned source or row.
                channel_span16(&t, a16.data() + 1, src.data() + 1, n, doubled);
                channel_span16_plain(&t, b16.data() + 1, src.data() + 1, n, doubled);
                channel_span32(&t, a32.data() + 1, src.data() + 1, n, doubled);
                channel_span32_plain(&t, b32.data() + 1, src.data() + 1, n, doubled);
                ASSERT_EQ(a16, b16) << std::hex << m[0] << " n " << std::dec << n << " doubled " << doubled;
                ASSERT_EQ(a32, b32) << std::hex << m[0] << " n " << std::dec << n << " doubled " << doubled;
            }
        }
    }
    for (int32_t n : {0, 3, 4, 7, 321}) {
        std::vector<uint32_t> src(n + 1), a(n + 3, 7), b(n + 3, 7);
        for (uint32_t& p : src) p = rng();
        swap_span(a.data() + 1, src.data() + 1, n);
        swap_span_plain(b.data() + 1, src.data() + 1, n);
        ASSERT_EQ(a, b) << "swap n " << n;
    }
    EXPECT_EQ(swap_pixel(0xAA112233), 0x00332211u);
}
