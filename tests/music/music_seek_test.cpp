// The player's extension for the studio, on the headless host: a pause holds
// the song and the clock, a seek is heard at once, a place told is found again
// to the output frame, the song moves on unheard; places the song does not
// have and a stopped song are refused, and playing again starts unpaused.
#include <gtest/gtest.h>

#include "engine/music/music.h"
#include "platform/fmod.h"
#include "platform/host_clock.h"
#include "tests/music/music_test_songs.h"

class MusicSeek : public ::testing::Test {
protected:
    MusicPosition* pos = nullptr;
    void SetUp() override
    {
        host_clock_reset();
        // 6 ticks a row at 125 BPM: a row is 120 ms, 5292 output frames.
        const std::string path = test_song_file(test_song(23, 4, 6, 125), "music_seek.xm");
        ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1) << music_error_string();
        pos = sync_position();
    }
    void TearDown() override
    {
        music_stop();
        music_shutdown();
    }
};

TEST_F(MusicSeek, APauseHoldsTheSongAndTheClock)
{
    host_clock_advance(500000);
    const float ticks = pos->ticks.load();
    const uint32_t row = pos->row.load();
    ASSERT_EQ(music_pause(1), 1);
    EXPECT_EQ(music_is_paused(), 1);
    host_clock_advance(2000000);  // two seconds paused: nothing moves
    EXPECT_EQ(pos->ticks.load(), ticks);
    EXPECT_EQ(pos->row.load(), row);
    MusicPlace held;
    ASSERT_EQ(music_tell(&held), 1);
    ASSERT_EQ(music_pause(0), 1);
    host_clock_advance(14000 * 10);
    EXPECT_EQ(pos->ticks.load(), ticks + 10.0f);
    // 0.5 s + 0.14 s of music heard: row 5 (rows of 120 ms).
    EXPECT_EQ(pos->row.load(), 5u);
    EXPECT_GT(held.seconds, 0.49);
}

TEST_F(MusicSeek, ASeekIsHeardAtOnceAndAToldPlaceIsFoundAgainToTheFrame)
{
    ASSERT_EQ(music_seek(7, 30, 0), 1);
    EXPECT_EQ(pos->order.load(), 7u);  // the record follows at once
    EXPECT_EQ(pos->row.load(), 30u);
    host_clock_advance(14000);
    EXPECT_EQ(pos->order.load(), 7u);
    EXPECT_EQ(pos->row.load(), 30u);

    // A place 1000 frames before a row's end: found again, the song crosses
    // into the next row after exactly 1000 more frames.
    ASSERT_EQ(music_pause(1), 1);
    ASSERT_EQ(music_seek(3, 10, 5292 - 1000), 1);
    MusicPlace place;
    ASSERT_EQ(music_tell(&place), 1);
    EXPECT_EQ(place.order, 3u);
    EXPECT_EQ(place.row, 10u);
    ASSERT_EQ(music_seek(12, 0, 0), 1);  // somewhere else
    ASSERT_EQ(music_seek_place(&place), 1);
    uint32_t order = 0, row = 0;
    ASSERT_EQ(music_advance(999, &order, &row), 1);
    EXPECT_EQ(row, 10u) << "one frame before the row's end";
    ASSERT_EQ(music_advance(2, &order, &row), 1);
    EXPECT_EQ(order, 3u);
    EXPECT_EQ(row, 11u) << "one frame after it";
}

TEST_F(MusicSeek, BadPlacesAndOtherBackEndsAreRefused)
{
    EXPECT_EQ(music_seek(23, 0, 0), 0);   // the song has orders 0-22
    EXPECT_EQ(music_seek(0, 64, 0), 0);   // and 64 rows a pattern
    EXPECT_EQ(pos->order.load() < 23u, true);
    music_stop();
    EXPECT_EQ(music_pause(1), 0);  // nothing playing
    EXPECT_EQ(music_seek(0, 0, 0), 0);
    MusicPlace place;
    EXPECT_EQ(music_tell(&place), 0);
    EXPECT_EQ(music_advance(10, nullptr, nullptr), 0);
}

TEST_F(MusicSeek, PlayingAgainAfterAPauseStartsUnpaused)
{
    ASSERT_EQ(music_pause(1), 1);
    ASSERT_EQ(music_play(0), 1);
    EXPECT_EQ(music_is_paused(), 0);
    const float ticks = pos->ticks.load();
    host_clock_advance(14000 * 3);
    EXPECT_EQ(pos->ticks.load(), ticks + 3.0f);
}
