// wendril-capture end to end on the default data: the frames and the sound of
// two runs are byte-identical, the PNGs are 320 x 240 and the WAV holds the
// music for the captured time, not silence.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const std::string BIN = TAVIK_BINARY_DIR;
const std::string DATA = BIN + "/data";

std::vector<unsigned char> slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::string capture(const char* name, int frames) {
    const std::string out = "/tmp/wendril_capture_test_" + std::string(name);
    std::system(("rm -rf " + out).c_str());
    const std::string cmd = "'" + BIN + "/wendril-capture' --frames " + std::to_string(frames) +
                            " --every 30 --data '" + DATA + "' --out " + out + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return out;
}

}  // namespace

TEST(Capture, TwoRunsGiveTheSameFramesAndSound) {
    struct stat st;
    if (stat((DATA + "/ragga.xm").c_str(), &st) != 0) GTEST_SKIP() << "no default data set in " << DATA;
    const std::string a = capture("a", 120), b = capture("b", 120);
    for (const char* frame : {"frame_000000.png", "frame_000030.png", "frame_000090.png"}) {
        const auto fa = slurp(a + "/" + frame), fb = slurp(b + "/" + frame);
        ASSERT_GT(fa.size(), 33u) << frame;
        EXPECT_TRUE(fa == fb) << frame;
        // PNG signature, then the IHDR's width and height (big-endian).
        EXPECT_EQ(fa[1], 'P');
        EXPECT_EQ((fa[16] << 24 | fa[17] << 16 | fa[18] << 8 | fa[19]), 320);
        EXPECT_EQ((fa[20] << 24 | fa[21] << 16 | fa[22] << 8 | fa[23]), 240);
    }
    EXPECT_FALSE(stat((a + "/frame_000120.png").c_str(), &st) == 0) << "120 frames: 0 .. 119";

    const auto wa = slurp(a + "/wendril.wav"), wb = slurp(b + "/wendril.wav");
    EXPECT_TRUE(wa == wb);
    ASSERT_GT(wa.size(), 44u);
    EXPECT_EQ(std::string(wa.begin(), wa.begin() + 4), "RIFF");
    EXPECT_EQ(le32(wa, 24), 44100u);                  // rate
    EXPECT_EQ(wa[22], 2);                             // channels
    EXPECT_EQ(wa[34], 16);                            // bits
    const uint32_t bytes = le32(wa, 40);
    const double seconds = bytes / (44100.0 * 4);
    EXPECT_NEAR(seconds, 2.0, 0.1) << "120 frames at 60 fps";
    // The music is heard: a clearly non-zero level over the two seconds.
    double sum = 0;
    const size_t samples = std::min<size_t>(bytes / 2, (wa.size() - 44) / 2);
    for (size_t i = 0; i < samples; i++) {
        const int16_t s = int16_t(wa[44 + 2 * i] | wa[45 + 2 * i] << 8);
        sum += double(s) * s;
    }
    EXPECT_GT(std::sqrt(sum / double(samples)), 300.0);
    std::system(("rm -rf " + a + " " + b).c_str());
}
