// Pixmap rows converted into display surfaces: the channel tables of the
// DirectDraw driver (8-bit Pixmap channel scaled to a surface channel) and the
// red/blue swap of the GDI bitmap, each as a table or byte loop and as an SSE2
// span giving the same bits.
#pragma once

#include <cstdint>

// Entry i is i scaled to the channel's width and moved to its place: i x (range / 256)
// in single precision, truncated, so 255 gives 254 on 8 bits and 30 on 5 bits.
// A zero mask leaves the channel dark.
void channel_table(uint32_t table[256], uint32_t mask);

// Three channel tables (red, green, blue: Pixmap bytes 0, 1, 2) and, when every
// table is ((i * range) >> 8) << shift with range below 256, the same in closed
// form for the SSE2 spans; `closed` is false otherwise and only the tables serve.
struct ChannelTables {
    uint32_t red[256], green[256], blue[256];
    uint32_t range[3], shift[3];
    bool closed;
};
// Fills the three tables for the masks and decides whether the closed form holds.
void channel_tables(ChannelTables* t, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask);

static inline uint32_t channel_pixel(const ChannelTables* t, uint32_t p)
{
    return t->red[p & 0xFF] | t->green[(p >> 8) & 0xFF] | t->blue[(p >> 16) & 0xFF];
}

// n Pixmap pixels into a surface row, each once or (doubled) twice across. The
// plain versions look up the tables; the others use the closed form four pixels
// at a time where it holds and SSE2 is built in, and are the plain ones otherwise.
void channel_span16_plain(const ChannelTables* t, uint16_t* dst, const uint32_t* src, int32_t n, bool doubled);
void channel_span32_plain(const ChannelTables* t, uint32_t* dst, const uint32_t* src, int32_t n, bool doubled);
void channel_span16(const ChannelTables* t, uint16_t* dst, const uint32_t* src, int32_t n, bool doubled);
void channel_span32(const ChannelTables* t, uint32_t* dst, const uint32_t* src, int32_t n, bool doubled);

// The GDI bitmap's order: red and blue swapped, the fourth byte cleared.
static inline uint32_t swap_pixel(uint32_t p) { return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF); }
// n pixels swapped into the bitmap's order: byte by byte, and four at a time (SSE2).
void swap_span_plain(uint32_t* dst, const uint32_t* src, int32_t n);
void swap_span(uint32_t* dst, const uint32_t* src, int32_t n);
