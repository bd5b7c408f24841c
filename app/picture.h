// Pictures at the screen's scale: the demo's full-screen pictures and credit
// cards are drawn for a 320 x 240 screen; on a larger screen they come from the
// data folder's hd/ copies (drawn at four times the size) resampled to the
// screen's scale, or from the originals when hd/ is missing.
#pragma once

#include <cstdint>

struct Pixmap;

typedef Pixmap* (*PictureLoader)(const char* name);

// The picture `name` for a screen of screen_width x screen_height: at 320 x 240
// exactly what `load` returns; otherwise round(w * screen_width / 320) x
// round(h * screen_height / 240) for an original of w x h, resampled from
// "hd/<name>" when that is four times the original's size, else from the
// original (said once per process on standard error). Null when the original
// cannot be loaded (the loader's error stays set) or memory runs out.
Pixmap* picture_load(const char* name, PictureLoader load, int32_t screen_width, int32_t screen_height);

// Resamples all of src into all of dst, each axis on its own: area averaging
// where dst is smaller, bilinear (pixel centres aligned, edges clamped) where
// it is larger, a copy where equal. Every byte of a pixel is filtered alike.
void picture_resample(const Pixmap* src, Pixmap* dst);

// The same on interleaved 8-bit pictures of `channels` bytes a pixel, rows
// `stride` bytes apart (the capture tool's RGB frames use it).
void picture_resample_bytes(const uint8_t* src, int32_t src_width, int32_t src_height, int32_t src_stride,
                            uint8_t* dst, int32_t dst_width, int32_t dst_height, int32_t dst_stride,
                            int32_t channels);

// Whether the missing-hd/ notice has been written (tests reset it to 0).
extern int picture_hd_notice_given;
