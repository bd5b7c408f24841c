// The demo's whole-screen passes on its virtual screen, on every core when the
// screen is large (the rasterizers' pool; the same bytes for any thread count).
// The fade, the additive blit and the depth outline are the engine's 2D kit
// (engine/fx/fx.h).
#pragma once

#include <cstdint>

struct Pixmap;

// The z-buffer set to `depth`; the w x h top-left rectangle of `picture` copied
// over the screen's (clipped as pixmap_blit clips); pixels and depths cleared as
// pixmap_clear_rect clears the whole Pixmap.
void filter_fill_depth(Pixmap* screen, int32_t depth);
void filter_copy(Pixmap* screen, const Pixmap* picture, int32_t w, int32_t h);
void filter_clear(Pixmap* screen, uint32_t colour);
