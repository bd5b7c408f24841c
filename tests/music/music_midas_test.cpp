// The music player on the MIDAS back end (the mode word's start value), on the
// headless host: volume clamping heard in the output, the full play status
// (pattern, sync command, loop count), start-up errors and refusals.
#include <gtest/gtest.h>

#include "engine/music/music.h"
#include "platform/audio.h"
#include "platform/host_clock.h"
#include "tests/music/music_test_songs.h"

class MusicMidas : public ::testing::Test {
protected:
    void SetUp() override { host_clock_reset(); }
    void TearDown() override
    {
        music_stop();
        music_shutdown();
    }
};

// One note held forever on a looped sine: a steady level to measure.
static XmSong steady_song()
{
    XmSong song = test_song(1, 1, 6, 125, 2);
    for (XmCell& c : song.patterns[0].cells) c = XmCell{};
    *xm_cell(&song, 0, 0, 0) = XmCell{XM_NOTE_C4, 1, 0, 0, 0};
    song.instruments[0].samples[0].data = test_sine_sample(8, 100, 1000, 120).data;
    return song;
}

TEST_F(MusicMidas, StartUpErrors)
{
    EXPECT_STREQ(music_error_string(), "No error");
    audio_fail_next_opens(1);
    EXPECT_EQ(music_init(nullptr, MUSIC_MIDAS | MUSIC_SYNC, 0), 0);
    EXPECT_STREQ(music_error_string(), "Midas init");
    EXPECT_EQ(sync_stop(), 0);
    std::string missing = std::string(TAVIK_BINARY_DIR) + "/no_such_module.xm";
    EXPECT_EQ(music_init(missing.c_str(), MUSIC_MIDAS | MUSIC_PLAY, 0), 0);
    EXPECT_STREQ(music_error_string(), "Midas load");
    EXPECT_EQ(sync_stop(), 0);
    // Loading from memory is FMOD's alone: refused without an error code.
    std::string path = test_song_file(steady_song(), "music_midas_mem.xm");
    EXPECT_EQ(music_load_memory(path.c_str()), 0);
    EXPECT_STREQ(music_error_string(), "Midas load");
}

TEST_F(MusicMidas, VolumeIsClampedTo0Through63)
{
    std::string path = test_song_file(steady_song(), "music_midas_volume.xm");
    std::string wav = std::string(TAVIK_BINARY_DIR) + "/music_midas_volume.wav";
    ASSERT_EQ(music_init(path.c_str(), MUSIC_MIDAS | MUSIC_PLAY, 0), 1) << music_error_string();
    host_clock_advance(200000);  // past the note's attack
    ASSERT_EQ(audio_wav_begin(wav.c_str()), 1);
    host_clock_advance(500000);  // full volume (64)
    ASSERT_EQ(music_set_volume(100), 1);  // 63: the library itself refuses anything above 64
    host_clock_advance(500000);
    ASSERT_EQ(music_set_volume(32), 1);
    host_clock_advance(500000);
    ASSERT_EQ(music_set_volume(-5), 1);  // 0
    host_clock_advance(500000);
    ASSERT_EQ(audio_wav_end(), 1);
    std::vector<int16_t> s = test_read_wav(wav);
    ASSERT_EQ(s.size(), 4u * 22050 * 2);
    const size_t q = 22050 * 2;
    double full = test_rms(s, 0, q), clamped = test_rms(s, q, 2 * q), half = test_rms(s, 2 * q, 3 * q);
    ASSERT_GT(full, 1000.0);
    EXPECT_NEAR(clamped / full, 63.0 / 64.0, 0.001);
    EXPECT_NEAR(half / full, 32.0 / 64.0, 0.001);
    EXPECT_EQ(test_rms(s, 3 * q, 4 * q), 0.0);
}

TEST_F(MusicMidas, PlayStatusFillsPatternSyncAndLoops)
{
    // Two orders playing patterns 1 then 0; sync commands W42 in pattern 1 row 8
    // and W17 in pattern 0 row 4. Speed 1 at 250 BPM: a row every 441 frames,
    // so the song loops every 128 rows (1.28 s).
    XmSong song = test_song(2, 2, 1, 250);
    song.orders = {1, 0};
    *xm_cell(&song, 1, 8, 2) = XmCell{0, 0, 0, 32, 0x42};
    *xm_cell(&song, 0, 4, 2) = XmCell{0, 0, 0, 32, 0x17};
    std::string path = test_song_file(song, "music_midas_status.xm");
    ASSERT_EQ(music_init(path.c_str(), MUSIC_MIDAS | MUSIC_PLAY, 0), 1) << music_error_string();
    MusicPosition* pos = sync_position();
    int sync = 0;
    for (int tick = 1; tick <= 300; tick++) {
        host_clock_advance(14000);
        int64_t rows = (static_cast<int64_t>(14000ull * tick * 44100 / 1000000) - 1) / 441;
        int order = static_cast<int>(rows / 64 % 2), row = static_cast<int>(rows % 64);
        if ((order == 0 && row >= 8) || (order == 1 && row < 4 && rows >= 128)) sync = 0x42;
        if (order == 1 && row >= 4) sync = 0x17;
        ASSERT_EQ(pos->order.load(), static_cast<uint32_t>(order)) << "tick " << tick;
        ASSERT_EQ(pos->row.load(), static_cast<uint32_t>(row)) << "tick " << tick;
        ASSERT_EQ(pos->pattern.load(), order == 0 ? 1u : 0u) << "tick " << tick;
        ASSERT_EQ(pos->sync_info.load(), sync) << "tick " << tick;
        ASSERT_EQ(pos->loop_count.load(), static_cast<uint32_t>(rows / 128)) << "tick " << tick;
    }
    EXPECT_EQ(pos->loop_count.load(), 3u);  // 4.2 s
}

TEST_F(MusicMidas, SetOrderStopAndRestart)
{
    std::string path = test_song_file(test_song(5, 5, 6, 125), "music_midas_order.xm");
    ASSERT_EQ(music_init(path.c_str(), MUSIC_MIDAS | MUSIC_SYNC, 0), 1);
    EXPECT_EQ(music_set_order(2), 0);  // not playing yet
    EXPECT_EQ(music_set_volume(100), 0);
    ASSERT_EQ(music_play(0), 1);
    host_clock_advance(300000);
    EXPECT_EQ(music_set_order(3), 1);
    host_clock_advance(14000);
    EXPECT_EQ(sync_position()->order.load(), 3u);
    EXPECT_EQ(sync_position()->pattern.load(), 3u);
    EXPECT_EQ(music_set_order(9), 0);  // MIDAS refuses an order the song lacks
    EXPECT_EQ(music_restart(), 1);
    host_clock_advance(14000);
    EXPECT_EQ(sync_position()->order.load(), 0u);
    EXPECT_EQ(music_stop(), 0);
    EXPECT_EQ(music_restart(), 0);
    // A new module plays after the old one was stopped and freed.
    ASSERT_EQ(music_load(path.c_str()), 1);
    ASSERT_EQ(music_play(0), 1);
    host_clock_advance(14000 * 20);
    EXPECT_EQ(sync_position()->row.load(), 2u);  // 280 ms at 120 ms a row
}
