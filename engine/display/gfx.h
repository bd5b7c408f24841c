// The display-driver interface: a constant record of a name and 18 operations,
// one current driver the program calls through, the mode-argument mapping and
// the key table both drivers translate Windows virtual keys with.
#pragma once

#include <cstdint>

struct Pixmap;

// One entry of a driver's mode list.
struct GfxMode {
    int32_t width;
    int32_t height;
    int32_t bits_per_pixel;
};
static_assert(sizeof(GfxMode) == 12, "GfxMode is three 32-bit words");

// The driver descriptor. Slot order is fixed; every driver fills all 18.
struct GfxDriver {
    const char* name;
    // 1: the mode list (built by the first call, the same list after); count through `count`.
    GfxMode* (*get_modes)(int32_t* count);
    // 2: opens the display; 1 or 0 with the driver's error code set. Mode: see gfx_mode_bits.
    int32_t (*open)(int32_t width, int32_t height, const char* caption, uint32_t mode);
    // 3: closes the display; 1.
    int32_t (*close)();
    // 4: presents the clipped rectangle of a 32-bit Pixmap at (dx, dy); nothing while inactive.
    // Before open (or after close) it returns 0 with the driver's "Display not open" code.
    int32_t (*blit)(int32_t dx, int32_t dy, Pixmap* pixmap, int32_t sx, int32_t sy, int32_t w, int32_t h);
    // 5: pumps window messages (and waits for the vertical blank in DirectDraw); 1, also
    // before open, which sets the driver's "Display not open" code.
    int32_t (*update)();
    // 6: GFX_OPTION_DOUBLE switches pixel doubling on; 1 if taken.
    int32_t (*set_option)(int32_t option);
    // 7: capability bits, GFX_CAPS_* (0 before open).
    int32_t (*get_caps)();
    // 8: 1 while the key with this engine code (0..511) is down.
    int32_t (*key_state)(int32_t code);
    // 9: the next queued key as an engine code (a signed char), 0 when none.
    int32_t (*get_key)();
    // 10-14: mouse position in display pixels, its second (raw) reading, buttons (bit 0 left, 1 right).
    int32_t (*mouse_x)();
    int32_t (*mouse_y)();
    int32_t (*mouse_raw_x)();
    int32_t (*mouse_raw_y)();
    int32_t (*mouse_buttons)();
    // 15-17: joystick 0 (-255, 0 or 255 per axis; button state); other indices give 0.
    int32_t (*joy_x)(int32_t index);
    int32_t (*joy_y)(int32_t index);
    int32_t (*joy_button)(int32_t index);
    // 18: message for the last error ("... No error" style text for code 0); resets the code to 0.
    const char* (*error_string)();
};
static_assert(sizeof(GfxDriver) == 19 * sizeof(void*), "a name and 18 slots");

// The mode argument of `open`: low four bits 1, 2, 4, 8 choose 8, 16, 24, 32 bits.
enum : uint32_t {
    GFX_MODE_8BPP = 1,
    GFX_MODE_16BPP = 2,
    GFX_MODE_24BPP = 4,
    GFX_MODE_32BPP = 8,
};
// Bits per pixel for a mode argument: any other low-nibble value gives 32; high bits ignored.
int32_t gfx_mode_bits(uint32_t mode);

// A blit rectangle: destination (dx, dy), source (sx, sy), size w x h.
struct GfxBlitRect {
    int32_t dx, dy, sx, sy, w, h;
};
// The clipping both drivers share: against the source Pixmap first, then the display
// (a negative destination start moves the source start by as much). False when empty.
bool gfx_clip_blit(GfxBlitRect* r, int32_t pixmap_width, int32_t pixmap_height, int32_t display_width,
                   int32_t display_height);

constexpr int32_t GFX_OPTION_DOUBLE = 1;  // pixel doubling
constexpr int32_t GFX_CAPS_INPUT1 = 0x40;  // first input flag (set by open)
constexpr int32_t GFX_CAPS_INPUT2 = 0x0A;  // second input flag (set by open)
constexpr int32_t GFX_KEY_STATES = 512;    // key-state slots
constexpr int32_t GFX_KEY_QUEUE = 256;     // queued virtual keys at most

// Engine key code of each Windows virtual key: 1..64 keep their value, letters
// become lower case, numeric-pad plus and minus become '+' and '-', the rest 0.
extern const uint8_t gfx_key_table[256];

extern const GfxDriver gfx_ddraw_driver;  // "DirectX 3+ Driver v 0.1 for Tavik"
extern const GfxDriver gfx_gdi_driver;    // "Win32GDI Driver v0.3 for Tavik"

// The driver the program uses: the DirectDraw driver.
extern const GfxDriver* current_gfx_driver;
