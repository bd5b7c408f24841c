// Plays a tracker module through the speakers and prints its order and row as
// they are heard, from the sync clock's position record. With no file given it
// writes a short tune with the XM writer and plays that.
//   play_music [module.xm] [seconds]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/music/music.h"
#include "tools/xm/xm_writer.h"

// A little tune: a plucked square lead over a sine bass, four orders.
static std::string write_tune()
{
    XmSong song;
    song.name = "play_music tune";
    song.channels = 4;
    song.speed = 6;
    song.bpm = 125;
    XmSample square;
    square.name = "square";
    for (int i = 0; i < 64; i++) square.data.push_back(i < 32 ? 110 : -110);
    square.loop_type = XM_LOOP_FORWARD;
    square.loop_length = 64;
    xm_tune_sample(&square, 64 * 261.63);  // one period a C-4 wave cycle
    XmInstrument lead = xm_instrument_single("lead", square);
    lead.volume_envelope.points = 3;
    lead.volume_envelope.x[1] = 4, lead.volume_envelope.y[0] = 64, lead.volume_envelope.y[1] = 40;
    lead.volume_envelope.x[2] = 40, lead.volume_envelope.y[2] = 0;
    lead.volume_envelope.flags = XM_ENV_ON;
    song.instruments.push_back(lead);
    XmSample sine;
    sine.name = "sine";
    sine.bits = 16;
    for (int i = 0; i < 256; i++) sine.data.push_back(static_cast<int16_t>(26000 * std::sin(2 * M_PI * i / 256)));
    sine.loop_type = XM_LOOP_FORWARD;
    sine.loop_length = 256;
    xm_tune_sample(&sine, 256 * 130.81);  // C-4 sounds an octave lower, C-3
    song.instruments.push_back(xm_instrument_single("bass", sine));

    const int melody[4][8] = {{0, 4, 7, 12, 7, 4, 0, 4}, {5, 9, 12, 17, 12, 9, 5, 9},
                              {7, 11, 14, 19, 14, 11, 7, 11}, {0, 7, 12, 16, 19, 16, 12, 7}};
    const int roots[4] = {0, 5, 7, 0};
    for (int p = 0; p < 4; p++) {
        int pat = xm_add_pattern(&song, 64);
        for (int r = 0; r < 64; r += 8) {
            *xm_cell(&song, pat, r, 0) = XmCell{static_cast<uint8_t>(XM_NOTE_C4 + melody[p][r / 8]), 1, 0, 0, 0};
            *xm_cell(&song, pat, r + 4, 0) =
                XmCell{static_cast<uint8_t>(XM_NOTE_C4 + 12 + melody[p][(r / 8 + 2) % 8]), 1, 0x30, 0, 0};
        }
        for (int r = 0; r < 64; r += 16) *xm_cell(&song, pat, r, 1) = XmCell{static_cast<uint8_t>(XM_NOTE_C4 + roots[p]), 2, 0, 0, 0};
        song.orders.push_back(static_cast<uint8_t>(pat));
    }
    std::string path = "play_music_tune.xm";
    if (!xm_write_file(song, path.c_str())) {
        std::fprintf(stderr, "play_music: %s\n", xm_error_string());
        std::exit(1);
    }
    return path;
}

int main(int argc, char** argv)
{
    std::string path = argc > 1 && argv[1][0] ? argv[1] : write_tune();
    double seconds = argc > 2 ? std::atof(argv[2]) : 30.0;
    if (!music_init(path.c_str(), MUSIC_FMOD | MUSIC_PLAY, 0)) {
        std::fprintf(stderr, "play_music: %s: %s\n", path.c_str(), music_error_string());
        return 1;
    }
    std::printf("playing %s for %.0f s\n", path.c_str(), seconds);
    MusicPosition* pos = sync_position();
    uint32_t last_order = ~0u, last_row = ~0u;
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        sync_update();
        uint32_t order = pos->order.load(std::memory_order_relaxed);
        uint32_t row = pos->row.load(std::memory_order_relaxed);
        if (order != last_order || row != last_row) {
            // One line a row, printed within a tick (14 ms) of the row being heard.
            std::printf("order %3u  row %2u  ticks %6d\n", order, row, pos->count.load(std::memory_order_relaxed));
            std::fflush(stdout);
            last_order = order;
            last_row = row;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    music_stop();
    music_shutdown();
    return 0;
}
