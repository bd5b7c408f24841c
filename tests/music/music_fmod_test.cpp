// The music player and sync clock on the FMOD back end, on the headless host's
// virtual clock: positions as the tempo says, the per-frame tick counters, the
// error table, failed loads that start nothing, and deterministic replays.
#include <gtest/gtest.h>

#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "platform/audio.h"
#include "platform/fmod.h"
#include "platform/host_clock.h"
#include "tests/music/music_test_songs.h"

// 44100 frames a second; the row heard at virtual time `us` is the row of the
// last frame already played.
static int64_t last_frame_at(uint64_t us)
{
    return static_cast<int64_t>(us * 44100 / 1000000) - 1;
}

class MusicFmod : public ::testing::Test {
protected:
    void SetUp() override { host_clock_reset(); }
    void TearDown() override
    {
        music_stop();
        music_shutdown();
    }
};

// Runs first in a fresh process (ctest runs every case alone): nothing failed yet.
TEST_F(MusicFmod, ErrorStringBeforeAnyErrorAndAfterAFailedInit)
{
    EXPECT_STREQ(music_error_string(), "No error");
    audio_fail_next_opens(1);
    EXPECT_EQ(music_init(nullptr, MUSIC_FMOD | MUSIC_SYNC, 0), 0);
    EXPECT_STREQ(music_error_string(), "Fmod Init");
    EXPECT_STREQ(music_error_string(), "Fmod Init");  // reading does not reset it
    EXPECT_EQ(sync_stop(), 0);                        // the failed init started no clock
    EXPECT_EQ(music_init(nullptr, MUSIC_FMOD, 0), 1);
    EXPECT_STREQ(music_error_string(), "Fmod Init");  // success leaves the code alone
}

TEST_F(MusicFmod, ErrorTableMessages)
{
    struct {
        int code;
        const char* message;
    } expected[] = {{0x100, "Timer error!"},      {0x101, "IO fetch!"},        {0x1000, "Midas startup"},
                    {0x1001, "Midas config"},      {0x1002, "Midas init"},      {0x1003, "Midas background player"},
                    {0x1004, "Midas load"},        {0x20001, "Fmod Init"},      {0x20002, "Fmod load"},
                    {0x20003, "Fmod memload"}};
    ASSERT_EQ(music_error_count, 10);
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(music_errors[i].code, expected[i].code);
        EXPECT_STREQ(music_errors[i].message, expected[i].message);
    }
}

TEST_F(MusicFmod, OrderAndRowFollowTheTempo)
{
    // 6 ticks a row at 125 BPM: a tick is 20 ms (882 frames), a row 120 ms.
    std::string path = test_song_file(test_song(23, 4, 6, 125), "music_fmod_tempo.xm");
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1) << music_error_string();
    MusicPosition* pos = sync_position();
    const int frames_per_row = 6 * 882;
    for (int tick = 1; tick <= 720; tick++) {  // 10 s: past the first order's 64 rows
        host_clock_advance(14000);
        ASSERT_EQ(pos->count.load(), tick);
        ASSERT_EQ(pos->ticks.load(), static_cast<float>(tick));
        int64_t rows = last_frame_at(14000ull * tick) / frames_per_row;
        ASSERT_EQ(pos->order.load(), static_cast<uint32_t>(rows / 64)) << "tick " << tick;
        ASSERT_EQ(pos->row.load(), static_cast<uint32_t>(rows % 64)) << "tick " << tick;
    }
    EXPECT_EQ(pos->order.load(), 1u);
}

TEST_F(MusicFmod, FrameTicksAndFrameCount)
{
    ASSERT_EQ(music_init(nullptr, MUSIC_FMOD | MUSIC_SYNC, 0), 1);
    MusicPosition* pos = sync_position();
    sync_update();  // the record outlives a run: start from its current counts
    float base_ticks = pos->ticks.load();
    int base_count = pos->count.load();

    host_clock_advance(3 * 14000);  // three ticks
    ASSERT_EQ(sync_update(), 1);
    EXPECT_EQ(pos->frame_ticks, 3.0f);
    EXPECT_EQ(pos->frame_count, 3);
    EXPECT_EQ(pos->last_ticks, base_ticks + 3.0f);
    EXPECT_EQ(pos->last_count, base_count + 3);

    sync_update();  // no tick in between
    EXPECT_EQ(pos->frame_ticks, 0.0f);
    EXPECT_EQ(pos->frame_count, 3);
    host_clock_advance(13000);  // 55 ms: still no tick
    sync_update();
    EXPECT_EQ(pos->frame_ticks, 0.0f);
    EXPECT_EQ(pos->frame_count, 3);

    host_clock_advance(1000);  // the tick at 56 ms
    sync_update();
    EXPECT_EQ(pos->frame_ticks, 1.0f);
    EXPECT_EQ(pos->frame_count, 1);

    // 60 frames of 1/60 s (exactly 1 s): every frame sees one or two 14 ms
    // ticks, 71 in all (70 ms .. 1050 ms).
    int total = 0;
    for (int f = 0; f < 60; f++) {
        host_clock_advance(f % 3 == 1 ? 16666 : 16667);
        sync_update();
        EXPECT_GT(pos->frame_ticks, 0.0f);
        EXPECT_TRUE(pos->frame_count == 1 || pos->frame_count == 2) << pos->frame_count;
        EXPECT_EQ(pos->frame_ticks, static_cast<float>(pos->frame_count));
        total += pos->frame_count;
    }
    EXPECT_EQ(total, 71);

    // The clock stopped: updates change nothing.
    EXPECT_EQ(sync_stop(), 1);
    EXPECT_EQ(sync_stop(), 0);
    float stopped_ticks = pos->ticks.load();
    host_clock_advance(100000);
    EXPECT_EQ(pos->ticks.load(), stopped_ticks);
    EXPECT_EQ(sync_update(), 0);
}

TEST_F(MusicFmod, SetOrderBeforePlayChangesNothing)
{
    std::string path = test_song_file(test_song(23, 4, 6, 125), "music_fmod_before.xm");
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_SYNC, 0), 1);
    EXPECT_EQ(music_set_order(5), 0);
    EXPECT_EQ(music_restart(), 0);
    EXPECT_EQ(music_set_volume(10), 0);
    uint32_t order = sync_position()->order.load();
    int count = sync_position()->count.load();
    host_clock_advance(14000 * 10);
    EXPECT_EQ(sync_position()->count.load(), count + 10);
    EXPECT_EQ(sync_position()->order.load(), order);  // not playing: the callback only counts
    ASSERT_EQ(music_play(0), 1);
    host_clock_advance(14000);
    EXPECT_EQ(sync_position()->order.load(), 0u);  // the song starts at its beginning
    EXPECT_EQ(sync_position()->row.load(), 0u);
    EXPECT_EQ(music_set_volume(10), 1);  // FMOD: accepted, no effect
}

TEST_F(MusicFmod, StopReturnsZeroAndSilences)
{
    std::string path = test_song_file(test_song(4, 2, 6, 125), "music_fmod_stop.xm");
    std::string wav = std::string(TAVIK_BINARY_DIR) + "/music_fmod_stop.wav";
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1);
    ASSERT_EQ(audio_wav_begin(wav.c_str()), 1);
    host_clock_advance(500000);
    EXPECT_EQ(music_stop(), 0);  // even though it stopped a song
    EXPECT_EQ(music_stop(), 0);
    host_clock_advance(500000);
    uint32_t order = sync_position()->order.load(), row = sync_position()->row.load();
    ASSERT_EQ(audio_wav_end(), 1);
    std::vector<int16_t> s = test_read_wav(wav);
    ASSERT_EQ(s.size(), 44100u * 2);  // exactly the second between begin and end
    EXPECT_GT(test_rms(s, 0, 44100), 300.0);
    EXPECT_EQ(test_rms(s, 44100, s.size()), 0.0);
    EXPECT_EQ(music_set_order(1), 0);
    host_clock_advance(100000);
    EXPECT_EQ(sync_position()->order.load(), order);  // the clock runs on, the position stays
    EXPECT_EQ(sync_position()->row.load(), row);
}

TEST_F(MusicFmod, FailedLoadsStartNothing)
{
    std::string missing = std::string(TAVIK_BINARY_DIR) + "/no_such_module.xm";
    EXPECT_EQ(music_init(missing.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 0);
    EXPECT_STREQ(music_error_string(), "Fmod load");
    EXPECT_EQ(sync_stop(), 0);           // no clock
    EXPECT_EQ(music_set_order(0), 0);    // not playing

    // A file that is not a module.
    std::string junk = std::string(TAVIK_BINARY_DIR) + "/music_junk.xm";
    FILE* f = std::fopen(junk.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("Extended Module: this is not one at all", f);
    std::fclose(f);
    EXPECT_EQ(music_load(junk.c_str()), 0);
    EXPECT_STREQ(music_error_string(), "Fmod load");

    // From memory: the image of a failed load goes back to GMEM.
    GmemStats before, after;
    gmem_stats(&before);
    EXPECT_EQ(music_load_memory(junk.c_str()), 0);
    EXPECT_STREQ(music_error_string(), "Fmod memload");
    gmem_stats(&after);
    EXPECT_EQ(after.blocks, before.blocks);

    EXPECT_EQ(music_load_memory(missing.c_str()), 0);
    EXPECT_STREQ(music_error_string(), "IO fetch!");
    EXPECT_EQ(music_load_memory(nullptr), 0);

    // The back end stayed up: a good module loads and plays without a new init.
    std::string path = test_song_file(test_song(2, 1, 6, 125), "music_fmod_after_fail.xm");
    EXPECT_EQ(music_load(path.c_str()), 1);
    EXPECT_EQ(music_play(0), 1);
}

TEST_F(MusicFmod, TwentyThreeOrdersHeldAtTheEnd)
{
    // The demo's ending: once order 22 is heard, the music goes back to order 20.
    std::string path = test_song_file(test_song(23, 5, 1, 255), "music_fmod_23.xm");
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1);
    MusicPosition* pos = sync_position();
    uint32_t highest = 0;
    int jumps = 0;
    bool expect_20 = false;
    for (int frame = 0; frame < 60 * 40; frame++) {  // 40 s of frames
        host_clock_advance(1000000 / 60);
        sync_update();
        uint32_t order = pos->order.load();
        if (expect_20 && pos->frame_ticks > 0.0f) {
            EXPECT_EQ(order, 20u) << "frame " << frame;
            expect_20 = false;
        }
        EXPECT_GE(order, highest > 20 ? 20u : 0u);  // never back to the start
        highest = std::max(highest, order);
        if (order >= 22) {
            ASSERT_EQ(music_set_order(20), 1);
            jumps++;
            expect_20 = true;
        }
    }
    EXPECT_EQ(highest, 22u);
    EXPECT_GE(jumps, 2);
}

TEST_F(MusicFmod, MemoryLoadSoundsLikeFileLoadAndReplaysExactly)
{
    // The same module from a file and from memory, twice each: the same
    // positions on every frame and the same sound to the sample.
    std::string path = test_song_file(test_song(6, 3, 3, 150), "music_fmod_replay.xm");
    std::vector<std::vector<int16_t>> sounds;
    std::vector<std::vector<uint32_t>> positions;
    for (int run = 0; run < 4; run++) {
        host_clock_reset();
        std::string wav = std::string(TAVIK_BINARY_DIR) + "/music_fmod_replay.wav";
        ASSERT_EQ(audio_wav_begin(wav.c_str()), 1);
        ASSERT_EQ(music_init(nullptr, MUSIC_FMOD, 0), 1);
        ASSERT_EQ(run % 2 ? music_load_memory(path.c_str()) : music_load(path.c_str()), 1);
        ASSERT_EQ(sync_start(100.0f), 1);
        ASSERT_EQ(music_play(0), 1);
        std::vector<uint32_t> seen;
        for (int frame = 0; frame < 150; frame++) {
            host_clock_advance(1000000 / 60);
            sync_update();
            if (frame == 70) music_set_order(4);
            seen.push_back(sync_position()->order.load() << 16 | sync_position()->row.load());
            seen.push_back(static_cast<uint32_t>(sync_position()->frame_count));
        }
        ASSERT_EQ(audio_wav_end(), 1);
        music_stop();
        music_shutdown();
        sounds.push_back(test_read_wav(wav));
        positions.push_back(seen);
    }
    EXPECT_GT(test_rms(sounds[0], 0, sounds[0].size()), 300.0);
    for (int run = 1; run < 4; run++) {
        EXPECT_EQ(sounds[run], sounds[0]) << "run " << run;
        EXPECT_EQ(positions[run], positions[0]) << "run " << run;
    }
}

TEST_F(MusicFmod, ShutdownStopsTheClockBeforeTheSong)
{
    std::string path = test_song_file(test_song(3, 1, 6, 125), "music_fmod_shutdown.xm");
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1);
    host_clock_advance(200000);
    ASSERT_EQ(music_shutdown(), 1);
    int count = sync_position()->count.load();
    host_clock_advance(200000);  // no callback runs on the freed song
    EXPECT_EQ(sync_position()->count.load(), count);
    EXPECT_EQ(sync_stop(), 0);
}

TEST_F(MusicFmod, LoadingANewSongStopsTheOldOne)
{
    std::string a = test_song_file(test_song(3, 1, 6, 125), "music_fmod_a.xm");
    std::string wav = std::string(TAVIK_BINARY_DIR) + "/music_fmod_replace.wav";
    ASSERT_EQ(music_init(a.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1);
    host_clock_advance(100000);
    ASSERT_EQ(audio_wav_begin(wav.c_str()), 1);
    ASSERT_EQ(music_load(a.c_str()), 1);  // the playing song would otherwise go on unstoppable
    host_clock_advance(300000);
    ASSERT_EQ(audio_wav_end(), 1);
    std::vector<int16_t> s = test_read_wav(wav);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(test_rms(s, 0, s.size()), 0.0);
    EXPECT_EQ(music_set_order(1), 0);  // the new song is loaded, not playing
}
