// The demo's running order: start-up (virtual screen, effects, music, display,
// pictures), the music-keyed timeline that picks what each frame draws, the
// frame end (present, clock, keys) and the shutdown. The entry point, the
// capture tool and the tests all run this same code.
#pragma once

#include <cstdint>

struct Pixmap;
struct MusicPosition;
struct GfxMode;

// Program-wide state of the running order.
struct DemoState {
    Pixmap* vscreen;          // 320 x 240 (times the scale) with z-buffer: everything is drawn here
    Pixmap* bakg;             // "t8-greyb.jpg", behind the knot and the blob
    Pixmap* endpic;           // "slutbild.gif", from order 20 on
    MusicPosition* position;  // the sync clock's record, read live every frame
    uint32_t fade_colour;     // what the fades blend towards: black
    float section_start;      // ticks at the last frame in orders 0-4
    float fadeout_start;      // ticks when order 8's fade-out began; -1 until then
    int quit;                 // set by Escape
    GfxMode* modes;           // the driver's mode list, gathered before open
    int32_t mode_count;
    float scale;              // the screen is round(320 scale) x round(240 scale); 1 to 8
};
extern DemoState demo;

constexpr float DEMO_SCALE_MAX = 8.0f;

// The music, read from the working directory like every file of the demo.
constexpr char DEMO_MODULE_FILE[] = "ragga.xm";
// The end loop: after order DEMO_END_LOOP_LAST the frame end sends the music back
// to DEMO_END_LOOP_ORDER, for ever; the end picture shows from that order on.
constexpr uint32_t DEMO_END_LOOP_ORDER = 20;
constexpr uint32_t DEMO_END_LOOP_LAST = 21;

// Reads a scale: a decimal number from 1 to 8 ("2", "4.5"). False for anything else.
bool demo_parse_scale(const char* text, float* scale);
// The screen's size at a scale: round(320 scale) x round(240 scale).
void demo_screen_size(float scale, int32_t* width, int32_t* height);

// One row of the timeline: orders first .. last (inclusive) draw with `draw`.
struct DemoSection {
    uint32_t first;
    uint32_t last;
    const char* name;
    void (*draw)();
};
extern const DemoSection demo_timeline[];
extern const int demo_timeline_count;

// The row of the timeline for an order (the last row takes every order after it).
const DemoSection* demo_section(uint32_t order);

// Start-up, steps 1-10. 0 when the demo is ready to loop; 1 after a failure has
// been shown (message box). Failed guarded loads end the process with status 1.
int demo_start();
// Draws the current order's frame into vscreen (one pass of the timeline).
void demo_draw();
// After every pass: loops the ending, presents vscreen, updates the clock and
// drains the key queue (Escape sets quit; a key without a code stops the drain).
void demo_frame_end();
// Stops the clock and the music and closes the display.
void demo_shutdown();

// Called after every frame end, with the frame's number from 0.
typedef void (*DemoFrameHook)(uint64_t frame, void* user);
// The whole program: start-up, the loop until Escape, shutdown. Returns the exit
// status: 0 after Escape, 1 when the start-up failed.
int demo_run(DemoFrameHook hook, void* user);
