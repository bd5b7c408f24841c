// The whole demo, frame for frame: every frame of a 60 fps run on the headless
// host, from the first frame to two seconds into the end loop (the capture
// tool's default span), hashed and compared with the hashes recorded in
// tests/app/demo_frames.txt. Speed-ups, threads and new features must leave
// every one of them unchanged.
//
// To record the file again after a deliberate change of the picture:
//   TAVIK_RECORD_FRAMES=$PWD/tests/app/demo_frames.txt build/demo_frames_test
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/demo.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tools/capture/frame_hash.h"

namespace {

const std::string DATA = std::string(TAVIK_BINARY_DIR) + "/data";
const std::string RECORDED = std::string(TAVIK_SOURCE_DIR) + "/tests/app/demo_frames.txt";
constexpr uint32_t FPS = 60;

struct FrameRecord {
    uint32_t order, row;
    uint64_t hash;
};

// The capture tool's default span: frames up to two seconds after order 20 begins.
std::vector<FrameRecord> run_demo() {
    std::vector<FrameRecord> frames;
    host_clock_set_frame_rate(FPS);
    if (demo_start() != 0) return frames;
    uint64_t end_loop_frames = 0;
    while (!demo.quit) {
        const FrameRecord r = {demo.position->order.load(), demo.position->row.load(), 0};
        if (r.order >= 20 && ++end_loop_frames > 2 * FPS) break;
        demo_draw();
        frames.push_back({r.order, r.row, frame_hash_pixels(demo.vscreen)});
        demo_frame_end();
    }
    demo_shutdown();
    return frames;
}

std::vector<FrameRecord> read_recorded() {
    std::vector<FrameRecord> frames;
    FILE* f = std::fopen(RECORDED.c_str(), "r");
    if (!f) return frames;
    char line[128];
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == '#') continue;
        FrameRecord r;
        uint64_t n;
        if (std::sscanf(line, "%" SCNu64 " %u %u %" SCNx64, &n, &r.order, &r.row, &r.hash) == 4 && n == frames.size())
            frames.push_back(r);
    }
    std::fclose(f);
    return frames;
}

}  // namespace

TEST(DemoFrames, EveryFrameMatchesTheRecordedHashes) {
    struct stat st;
    ASSERT_EQ(stat((DATA + "/ragga.xm").c_str(), &st), 0) << "no default data set in " << DATA << " (the build writes it)";
    ASSERT_EQ(chdir(DATA.c_str()), 0);
    const std::vector<FrameRecord> frames = run_demo();
    ASSERT_GT(frames.size(), 9000u) << "the demo did not run to its end loop";

    if (const char* out = std::getenv("TAVIK_RECORD_FRAMES")) {
        FILE* f = std::fopen(out, "w");
        ASSERT_NE(f, nullptr) << out;
        std::fprintf(f, "# frame order row hash: the whole demo at %u fps on the headless host, 320 x 240\n", FPS);
        for (size_t n = 0; n < frames.size(); n++)
            std::fprintf(f, FRAME_HASH_LINE, uint64_t(n), frames[n].order, frames[n].row, frames[n].hash);
        ASSERT_EQ(std::fclose(f), 0);
        GTEST_SKIP() << "recorded " << frames.size() << " frames into " << out;
    }

    const std::vector<FrameRecord> recorded = read_recorded();
    ASSERT_EQ(recorded.size(), frames.size()) << "frame count differs from " << RECORDED;
    // Every frame is compared; the report names the first few that differ and
    // how many differ in each order, so a failure says where to look.
    int differing = 0;
    uint32_t per_order[32] = {};
    for (size_t n = 0; n < frames.size(); n++) {
        ASSERT_EQ(frames[n].order, recorded[n].order) << "frame " << n << ": the music position moved";
        ASSERT_EQ(frames[n].row, recorded[n].row) << "frame " << n << ": the music position moved";
        if (frames[n].hash != recorded[n].hash) {
            if (differing++ < 5) ADD_FAILURE() << "frame " << n << " (order " << frames[n].order << ", row "
                                               << frames[n].row << ") differs";
            per_order[frames[n].order & 31]++;
        }
    }
    for (uint32_t o = 0; o < 32; o++)
        if (per_order[o]) ADD_FAILURE() << per_order[o] << " frames of order " << o << " differ";
    EXPECT_EQ(differing, 0);
}
