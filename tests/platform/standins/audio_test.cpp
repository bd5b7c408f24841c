// The shared sound output: the heard position when audio is rendered ahead of
// the listener (a device's queue), set-order taking effect at once, stale
// handles refused, and the WAV covering exactly the rendered span.
#include <gtest/gtest.h>

#include "platform/audio.h"
#include "platform/fmod.h"
#include "platform/host_clock.h"
#include "tests/music/music_test_songs.h"

class Audio : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_clock_reset();
        ASSERT_EQ(audio_open(), 1);
    }
    void TearDown() override { audio_close(); }
};

TEST_F(Audio, HeardPositionLagsTheMixerByTheQueue)
{
    // Speed 6 at 125 BPM: a row every 5292 frames. Render 3 s ahead, as a
    // device callback would, then ask what is heard at points inside that span.
    std::vector<uint8_t> bytes = test_song_bytes(test_song(4, 2, 6, 125));
    AudioSong* song = audio_song_load_memory(bytes.data(), bytes.size());
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(audio_song_play(song), 1);
    uint64_t start = audio_rendered_frames();
    std::vector<float> buf(3 * 44100 * 2);
    audio_render(buf.data(), 3 * 44100);

    AudioPosition mixer;
    ASSERT_EQ(audio_song_position_at(song, start + 3 * 44100, &mixer), 1);
    EXPECT_EQ(mixer.row, (3 * 44100 - 1) / 5292);  // the end of the span: the mixer's row
    // Marks are taken every 64 frames, so the answer is the row of a frame at
    // most 63 frames before the last one heard, and exact on block boundaries.
    AudioSong* fresh = audio_song_load_memory(bytes.data(), bytes.size());
    ASSERT_EQ(audio_song_play(fresh), 1);
    uint64_t s2 = audio_rendered_frames();
    audio_render(buf.data(), 3 * 44100);
    for (uint64_t heard = 1; heard < 3 * 44100; heard += 97) {
        AudioPosition p;
        ASSERT_EQ(audio_song_position_at(fresh, s2 + heard, &p), 1);
        int exact = static_cast<int>((heard - 1) / 5292);
        int early = static_cast<int>((heard >= 64 ? heard - 64 : 0) / 5292);
        ASSERT_TRUE(p.row == exact || p.row == early) << "heard " << heard << " row " << p.row;
        if (heard % 64 == 0) {
            ASSERT_EQ(p.row, exact);
        }
        ASSERT_EQ(p.order, 0);
        ASSERT_EQ(p.loops, 0);
    }
    audio_song_free(song);
    audio_song_free(fresh);
}

TEST_F(Audio, SetOrderIsHeardAtOnceAndStaleHandlesAreRefused)
{
    std::vector<uint8_t> bytes = test_song_bytes(test_song(6, 3, 6, 125));
    AudioSong* song = audio_song_load_memory(bytes.data(), bytes.size());
    ASSERT_EQ(audio_song_play(song), 1);
    host_clock_advance(500000);
    AudioPosition p;
    ASSERT_EQ(audio_song_heard(song, &p), 1);
    EXPECT_EQ(p.row, 4);  // 22049 / 5292
    ASSERT_EQ(audio_song_set_order(song, 3), 1);
    ASSERT_EQ(audio_song_heard(song, &p), 1);  // no time has passed
    EXPECT_EQ(p.order, 3);
    EXPECT_EQ(p.row, 0);
    EXPECT_EQ(p.pattern, 0);  // order 3 plays pattern 3 % 3
    host_clock_advance(130000);
    ASSERT_EQ(audio_song_heard(song, &p), 1);
    EXPECT_EQ(p.order, 3);
    EXPECT_EQ(p.row, 1);
    EXPECT_EQ(audio_song_set_order(song, 6), 0);  // past the order list
    EXPECT_EQ(audio_song_set_order(song, -1), 0);
    EXPECT_EQ(audio_song_num_orders(song), 6);
    EXPECT_EQ(audio_song_speed(song), 6);
    EXPECT_EQ(audio_song_tempo(song), 125);

    ASSERT_EQ(audio_song_free(song), 1);
    EXPECT_EQ(audio_song_free(song), 0);
    EXPECT_EQ(audio_song_heard(song, &p), 0);
    EXPECT_EQ(audio_song_play(song), 0);
    EXPECT_EQ(FMUSIC_GetOrder(reinterpret_cast<FMUSIC_MODULE*>(song)), -1);
    EXPECT_EQ(audio_song_load_memory(nullptr, 10), nullptr);
    const char junk[] = "not a module";
    EXPECT_EQ(audio_song_load_memory(junk, sizeof junk), nullptr);
    EXPECT_NE(std::string(audio_error_string()), "");
}

TEST_F(Audio, WavCoversExactlyTheRenderedSpan)
{
    std::vector<uint8_t> bytes = test_song_bytes(test_song(2, 1, 6, 125));
    AudioSong* song = audio_song_load_memory(bytes.data(), bytes.size());
    ASSERT_EQ(audio_song_play(song), 1);
    host_clock_advance(123457);  // the WAV starts mid-frame of the song
    std::string wav = std::string(TAVIK_BINARY_DIR) + "/audio_span.wav";
    ASSERT_EQ(audio_wav_begin(wav.c_str()), 1);
    uint64_t first = audio_rendered_frames();
    for (int i = 0; i < 37; i++) host_clock_advance(16667);  // frames of a capture at 60 Hz
    AudioPosition p;
    audio_song_heard(song, &p);  // a lazy render in between changes nothing
    host_clock_advance(3333);
    ASSERT_EQ(audio_wav_end(), 1);
    uint64_t end_us = 123457 + 37 * 16667 + 3333;
    int channels = 0, rate = 0;
    std::vector<int16_t> s = test_read_wav(wav, &channels, &rate);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(first, 123457ull * 44100 / 1000000);
    EXPECT_EQ(s.size() / 2, end_us * 44100 / 1000000 - first);
    EXPECT_GT(test_rms(s, 0, s.size()), 300.0);
    EXPECT_EQ(audio_wav_end(), 0);  // nothing open any more
    audio_song_free(song);
}

TEST_F(Audio, ChunkingDoesNotChangeTheSound)
{
    // The headless host renders whatever the clock asks for; the samples must
    // not depend on how the span was cut.
    std::vector<uint8_t> bytes = test_song_bytes(test_song(2, 1, 3, 133));
    std::vector<std::vector<int16_t>> runs;
    for (int run = 0; run < 2; run++) {
        host_clock_reset();
        AudioSong* song = audio_song_load_memory(bytes.data(), bytes.size());
        ASSERT_EQ(audio_song_play(song), 1);
        std::string wav = std::string(TAVIK_BINARY_DIR) + "/audio_chunks.wav";
        ASSERT_EQ(audio_wav_begin(wav.c_str()), 1);
        uint64_t step = run == 0 ? 1000000 : 7919;
        for (uint64_t t = 0; t < 1000000; t += step) host_clock_advance(std::min<uint64_t>(step, 1000000 - t));
        ASSERT_EQ(audio_wav_end(), 1);
        runs.push_back(test_read_wav(wav));
        audio_song_free(song);
    }
    ASSERT_EQ(runs[0].size(), 44100u * 2);
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(Audio, DamagedModulesAreRefusedOrPlayedSafely)
{
    // Bytes flipped and files cut short at many places: each either fails to
    // load with a message or loads and plays; nothing crashes (run under ASan).
    std::vector<uint8_t> good = test_song_bytes(test_song(3, 2, 6, 125));
    uint32_t seed = 12345;
    auto next = [&]() { return seed = seed * 1664525u + 1013904223u; };
    std::vector<float> buf(2048 * 2);
    int refused = 0, played = 0;
    for (int i = 0; i < 200; i++) {
        std::vector<uint8_t> bad = good;
        if (i % 2) {
            bad.resize(next() % bad.size());
        } else {
            for (int k = 0; k < 8; k++) bad[next() % bad.size()] = static_cast<uint8_t>(next() >> 24);
        }
        AudioSong* song = bad.empty() ? nullptr : audio_song_load_memory(bad.data(), bad.size());
        if (!song) {
            refused++;
            EXPECT_NE(std::string(audio_error_string()), "");
            continue;
        }
        played++;
        ASSERT_EQ(audio_song_play(song), 1);
        audio_render(buf.data(), 2048);
        AudioPosition p;
        EXPECT_EQ(audio_song_position_at(song, audio_rendered_frames(), &p), 1);
        audio_song_set_order(song, 1);
        audio_render(buf.data(), 2048);
        audio_song_free(song);
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(played, 0);
}
