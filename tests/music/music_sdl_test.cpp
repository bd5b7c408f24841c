// The sync clock and player on the SDL host in real time: the timer's thread
// ticks every 14 ms of wall time, and the heard row follows the song through
// SDL's dummy audio device, or through the silent sink when no device opens.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/music/music.h"
#include "tests/music/music_test_songs.h"

static void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(MusicSdl, OneSecondOfWallTimeIs70To72Ticks)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    MusicPosition* pos = sync_position();
    int start = pos->count.load();
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(music_init(nullptr, MUSIC_FMOD | MUSIC_SYNC, 0), 1) << music_error_string();
    // Read the count as near 1 s after the start as the scheduler allows:
    // sleep most of the way, then yield until the second is up.
    std::this_thread::sleep_until(t0 + std::chrono::milliseconds(990));
    while (std::chrono::steady_clock::now() < t0 + std::chrono::seconds(1)) std::this_thread::yield();
    int ticks = pos->count.load() - start;
    EXPECT_GE(ticks, 70);
    EXPECT_LE(ticks, 72);
    music_shutdown();
}

TEST(MusicSdl, HeardRowFollowsTheSongOnTheDummyDevice)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // A row every 120 ms.
    std::string path = test_song_file(test_song(4, 2, 6, 125), "music_sdl_dummy.xm");
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1) << music_error_string();
    auto start = std::chrono::steady_clock::now();
    sleep_ms(1500);
    uint32_t row = sync_position()->row.load();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // The device queue (two buffers of 512 frames, 23 ms) and a 14 ms tick stand
    // between the wall clock and what the record shows; the dummy driver paces
    // itself with relative sleeps, which fall behind on a busy machine.
    int latest = static_cast<int>(ms / 120.0), earliest = static_cast<int>((ms - 14.0 - 150.0) / 120.0);
    EXPECT_GE(static_cast<int>(row), earliest) << ms << " ms";
    EXPECT_LE(static_cast<int>(row), latest) << ms << " ms";
    music_stop();
    music_shutdown();
}

TEST(MusicSdl, NoDeviceMeansSilentWallClockSaidOnce)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    std::string path = test_song_file(test_song(4, 2, 6, 125), "music_sdl_silent.xm");
    testing::internal::CaptureStderr();
    auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0), 1) << music_error_string();
    auto after = std::chrono::steady_clock::now();
    sleep_ms(700);
    uint32_t row = sync_position()->row.load();
    auto read = std::chrono::steady_clock::now();
    // The sink's clock starts inside music_init; a row lasts 120 ms, a tick 14 ms.
    double longest = std::chrono::duration<double, std::milli>(read - before).count();
    double shortest = std::chrono::duration<double, std::milli>(read - after).count() - 14.0;
    music_stop();
    music_shutdown();
    ASSERT_EQ(music_init(path.c_str(), MUSIC_FMOD, 0), 1);  // a second start says nothing new
    music_shutdown();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_GE(static_cast<int>(row), static_cast<int>(shortest / 120.0));
    EXPECT_LE(static_cast<int>(row), static_cast<int>(longest / 120.0));
    EXPECT_GE(row, 4u);
    size_t first = said.find("no sound device");
    EXPECT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("no sound device", first + 1), std::string::npos) << said;
}
