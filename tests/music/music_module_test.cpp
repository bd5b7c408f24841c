// A module nobody here wrote (a game soundtrack shipped by Debian, installed by
// scripts/setup) through the player: it loads, sounds, and its heard order and
// row follow the song as an independent player (libxmp) times it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/music/music.h"
#include "platform/audio.h"
#include "platform/fmod.h"
#include "platform/host_clock.h"
#include "tests/music/music_test_songs.h"
#include <xmp.h>

static const char* const foreign_module = "/usr/share/games/heroes/mod/heroes01.xm";

static bool have_foreign_module()
{
    return std::ifstream(foreign_module).good();
}

TEST(MusicForeignModule, PlaysWithPositionsInStepWithLibxmp)
{
    if (!have_foreign_module()) GTEST_FAIL() << foreign_module << " missing (package heroes-sound-tracks, scripts/setup)";
    host_clock_reset();
    std::string wav = std::string(TAVIK_BINARY_DIR) + "/music_foreign.wav";
    ASSERT_EQ(audio_wav_begin(wav.c_str()), 1);
    ASSERT_EQ(music_init(foreign_module, MUSIC_FMOD | MUSIC_PLAY, 0), 1) << music_error_string();
    const int ticks = 20000 / 14;  // 20 s
    std::vector<std::pair<uint32_t, uint32_t>> heard;
    for (int t = 0; t < ticks; t++) {
        host_clock_advance(14000);
        heard.emplace_back(sync_position()->order.load(), sync_position()->row.load());
    }
    ASSERT_EQ(audio_wav_end(), 1);
    music_stop();
    music_shutdown();

    std::vector<int16_t> s = test_read_wav(wav);
    ASSERT_EQ(s.size(), 14000ull * ticks * 44100 / 1000000 * 2);
    EXPECT_GT(test_rms(s, 0, s.size()), 500.0);
    int changes = 0;
    for (size_t i = 1; i < heard.size(); i++) changes += heard[i] != heard[i - 1];
    EXPECT_GT(changes, 40);

    // libxmp plays the same file; its row at the same moment must match ours,
    // allowing for where each player rounds.
    std::ifstream in(foreign_module, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size())), 0);
    ASSERT_EQ(xmp_start_player(ctx, 44100, 0), 0);
    struct Span {
        double start_ms;
        uint32_t order, row;
    };
    std::vector<Span> spans;  // libxmp's rows with the time each starts
    double time_ms = 0;
    while (time_ms < 21000) {
        xmp_frame_info fi;
        if (xmp_play_frame(ctx) != 0) break;
        xmp_get_frame_info(ctx, &fi);
        if (spans.empty() || spans.back().order != static_cast<uint32_t>(fi.pos) ||
            spans.back().row != static_cast<uint32_t>(fi.row))
            spans.push_back(Span{time_ms, static_cast<uint32_t>(fi.pos), static_cast<uint32_t>(fi.row)});
        time_ms += fi.frame_time / 1000.0;  // frame_time is in microseconds
    }
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    ASSERT_GT(spans.size(), 10u);
    // libxmp's row at a moment. The players round a tick to whole frames in
    // different ways (libopenmpt plays 835 frames where 835.2 are due at 132
    // BPM), which drifts by up to 0.05%: ours may match it within 2 ms plus that.
    auto xmp_at = [&](double ms) {
        size_t i = 0;
        while (i + 1 < spans.size() && spans[i + 1].start_ms <= ms) i++;
        return std::make_pair(spans[i].order, spans[i].row);
    };
    int mismatches = 0;
    for (int t = 0; t < ticks; t++) {
        double now = 14.0 * (t + 1), slack = 2.0 + now * 0.0005;
        if (heard[t] != xmp_at(now) && heard[t] != xmp_at(now - slack) && heard[t] != xmp_at(now + slack)) mismatches++;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(MusicForeignModule, SetOrderAndMemoryLoad)
{
    if (!have_foreign_module()) GTEST_FAIL() << foreign_module << " missing (package heroes-sound-tracks, scripts/setup)";
    host_clock_reset();
    ASSERT_EQ(music_init(nullptr, MUSIC_FMOD, 0), 1);
    ASSERT_EQ(music_load_memory(foreign_module), 1) << music_error_string();
    ASSERT_EQ(sync_start(100.0f), 1);
    ASSERT_EQ(music_play(0), 1);
    host_clock_advance(1000000);
    ASSERT_EQ(music_set_order(2), 1);
    host_clock_advance(14000);
    EXPECT_EQ(sync_position()->order.load(), 2u);
    EXPECT_LE(sync_position()->row.load(), 2u);
    music_stop();
    music_shutdown();
}
