// The studio's overlay (F1) and reload (R): what is playing and how fast it is
// drawn, over the picture only while it is shown; and every data file read
// again from disk while the demo plays on where it is.
#pragma once

#include <cstdint>
#include <string>

struct Pixmap;

// Frame times kept for the graph: two seconds at 60 frames a second.
constexpr int STUDIO_FRAME_TIMES = 120;

struct StudioView {
    bool overlay;                            // F1 toggles it
    bool looping;                            // the studio's loop is on (L)
    float frame_ms[STUDIO_FRAME_TIMES];      // the last frames' drawing times, oldest first
    std::string message;                     // the last reload's outcome, shown on the overlay
    int message_frames;                      // frames left to show it
};
extern StudioView studio_view;

// Records the time the last frame took to draw.
void studio_view_frame_time(float ms);
// Draws the overlay into the screen, keeping what it covers; studio_view_hide
// puts that back after the frame is shown, so no later frame sees the overlay.
void studio_view_show(Pixmap* screen);
void studio_view_hide(Pixmap* screen);

// The overlay's text lines for the current position (also what tests read).
int studio_view_lines(std::string* lines, int max_lines);

// Reads every picture, texture and the module again. A file that loads (at the
// size it had) replaces the old one in place; one that does not keeps the old
// one, and its file and reason go into the message. The module plays on from
// the same place; the studio's kept seek points are dropped with the old
// module. Returns the number of files that failed.
int studio_reload();
