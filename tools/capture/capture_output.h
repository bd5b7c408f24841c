// What wendril-capture writes besides the loop itself: PNG files, the WAV of
// exactly the captured span cut from the sound rendered around it, the labelled
// contact sheet and the ffmpeg processes behind --mp4.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture as bytes red, green, blue, rows top to bottom.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// The virtual screen's RGBA words (bytes R, G, B, A) as RGB.
RgbImage capture_rgb_from_rgba(const uint32_t* pixels, const int32_t* rows, int width, int height);

// Writes an 8-bit RGB PNG; false with errno set (or EIO) on failure.
bool capture_write_png(const std::string& path, const RgbImage& image);

// `part` is a 16-bit stereo 44.1 kHz WAV whose first sample is sample `part_first`
// of the demo's sound; writes to `path` the samples [first, end) of the demo's
// sound. False (message on standard error) when the part does not cover them.
bool capture_cut_wav(const std::string& part, uint64_t part_first, uint64_t first, uint64_t end,
                     const std::string& path);

// ---- contact sheet -------------------------------------------------------------------

enum : int {
    SHEET_THUMB_W = 160,  // half the 320 x 240 screen each way, at any scale
    SHEET_THUMB_H = 120,
    SHEET_LABEL_H = 20,   // two lines of the 5 x 7 font
    SHEET_GAP = 4,
    SHEET_COLUMNS = 4,
};

struct SheetThumb {
    uint32_t order;
    uint32_t row;
    uint64_t frame;
    uint64_t time_us;
    std::string section;
    RgbImage picture;  // SHEET_THUMB_W x SHEET_THUMB_H
};

// Halves a 320 x 240 frame by averaging 2 x 2 blocks; a larger frame is
// area-averaged down to the thumbnail's size.
RgbImage sheet_thumbnail(const RgbImage& frame);
// The grid of thumbnails, min(count, 4) columns, each labelled with its order,
// row, time and section.
RgbImage sheet_compose(const std::vector<SheetThumb>& thumbs);

// ---- signals -----------------------------------------------------------------------------

// Catches SIGINT, SIGTERM and SIGHUP (those not ignored when the tool started):
// the handler only notes the signal and kills a running ffmpeg, so a capture
// blocked on ffmpeg's pipe or waiting for it comes back; the frame loop checks
// capture_stop_signal() between frames and cleans up there.
void capture_catch_signals();
// The signal that asked the run to stop, or 0.
int capture_stop_signal();

// ---- ffmpeg ------------------------------------------------------------------------------

// True when an executable `ffmpeg` is on the PATH.
bool ffmpeg_available();

// An ffmpeg process encoding raw RGB frames from a pipe into a silent H.264 file.
struct VideoEncoder {
    int pid = -1;
    int fd = -1;
};
// Frames of width x height, each pixel shown zoom x zoom (nearest) in the video.
bool video_begin(VideoEncoder* enc, const std::string& path, int width, int height, uint32_t fps, int zoom = 2);
bool video_frame(VideoEncoder* enc, const RgbImage& frame);
// Closes the pipe and waits; true when ffmpeg succeeded.
bool video_end(VideoEncoder* enc);
// Muxes the silent video and the WAV into `path` (video copied, sound as AAC).
bool video_mux(const std::string& video, const std::string& wav, const std::string& path);
