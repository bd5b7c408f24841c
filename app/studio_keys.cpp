// The studio's loop: the demo's own frames, with keys that pause, step, scrub
// and loop. Keys are read from the key state's toggle bit (it flips on every
// press), so a press shorter than a frame is still seen and keys without an
// engine code (F1, the comma, the brackets) work as well as the others.
#include "app/studio_keys.h"

#include <chrono>
#include <cstdio>

#include "app/demo.h"
#include "app/studio.h"
#include "app/studio_view.h"
#include "engine/display/gfx.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "engine/sync/sync_editor.h"
#include "platform/win32.h"

// ---- module state -----------------------------------------------------------

// The keys the studio answers, as Windows virtual keys.
static const int STUDIO_KEYS[] = {VK_SPACE, VK_LEFT, VK_RIGHT, VK_PRIOR, VK_NEXT, VK_HOME, VK_OEM_COMMA,
                                  VK_OEM_PERIOD, 'L', VK_OEM_4 /* [ */, VK_OEM_6 /* ] */, VK_F1, 'R'};
static const int STUDIO_KEY_COUNT = int(sizeof STUDIO_KEYS / sizeof STUDIO_KEYS[0]);

StudioLoop studio_loop;
StudioEditor studio_editor = {nullptr, nullptr, -1};

static SHORT toggles[256];

// ---- private helpers --------------------------------------------------------

static const uint32_t ROWS = 64;  // rows of an order (the module's patterns)

// A position `rows` rows from (order, row), not before 0:0.
static StudioWhen rows_from(uint32_t order, uint32_t row, int64_t rows)
{
    int64_t at = int64_t(order) * ROWS + row + rows;
    if (at < 0) at = 0;
    StudioWhen w;
    w.kind = StudioWhen::POSITION;
    w.order = uint32_t(at / ROWS);
    w.row = uint32_t(at % ROWS);
    return w;
}

static StudioWhen frame_when(int64_t frame)
{
    StudioWhen w;
    w.kind = StudioWhen::SECONDS;
    w.num = uint64_t(frame < 0 ? 0 : frame);
    w.den = studio_frame_rate();
    return w;
}

// Seeks; while paused the frame there is drawn at once so that it shows.
static void seek(const StudioWhen& w)
{
    if (!studio_seek(w, music_is_paused() != 0)) std::fprintf(stderr, "wendril: %s\n", studio_error());
}

// ---- public functions ---------------------------------------------------------

void studio_keys_reset()
{
    for (int i = 0; i < STUDIO_KEY_COUNT; i++) toggles[STUDIO_KEYS[i]] = SHORT(GetKeyState(STUDIO_KEYS[i]) & 1);
    studio_loop = StudioLoop{};
    studio_view.looping = false;
}

bool studio_key_pressed(int vk)
{
    const SHORT now = SHORT(GetKeyState(vk) & 1);
    if (now == toggles[vk & 0xFF]) return false;
    toggles[vk & 0xFF] = now;
    return true;
}

void studio_handle_keys()
{
    const MusicPosition* p = demo.position;
    const uint32_t order = p->order.load(), row = p->row.load();
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const bool paused = music_is_paused() != 0;
    // The frame on the screen: while paused the last one drawn, else the next.
    const int64_t shown = int64_t(studio_frame()) - (paused ? 1 : 0);

    if (studio_key_pressed(VK_SPACE)) {
        music_pause(paused ? 0 : 1);
    }
    if (studio_key_pressed(VK_LEFT))
        seek(shift ? frame_when(shown - int64_t(studio_frame_rate())) : rows_from(order, row, -1));
    if (studio_key_pressed(VK_RIGHT))
        seek(shift ? frame_when(shown + int64_t(studio_frame_rate())) : rows_from(order, row, 1));
    if (studio_key_pressed(VK_PRIOR)) seek(rows_from(order, 0, -int64_t(ROWS)));
    if (studio_key_pressed(VK_NEXT)) seek(rows_from(order + 1, 0, 0));
    if (studio_key_pressed(VK_HOME)) seek(frame_when(0));
    // Stepping: only while paused, silent (the song stays paused).
    if (studio_key_pressed(VK_OEM_COMMA) && paused && shown > 0) seek(frame_when(shown - 1));
    if (studio_key_pressed(VK_OEM_PERIOD) && paused) studio_step();
    if (studio_key_pressed(VK_OEM_4)) {
        studio_loop.mark_start = true;
        studio_loop.start_order = order;
        studio_loop.start_row = row;
    }
    if (studio_key_pressed(VK_OEM_6)) {
        studio_loop.mark_end = true;
        studio_loop.end_order = order;
        studio_loop.end_row = row;
    }
    if (studio_key_pressed(VK_F1)) studio_view.overlay = !studio_view.overlay;
    if (studio_key_pressed('R')) {
        studio_reload();
        // Paused, the frame on the screen is drawn again from the new files.
        if (music_is_paused() && shown >= 0) seek(frame_when(shown));
    }
    if (studio_key_pressed('L')) {
        studio_loop.on = !studio_loop.on;
        studio_view.looping = studio_loop.on;
        if (studio_loop.on) {
            const bool span = studio_loop.mark_start && studio_loop.mark_end &&
                              (studio_loop.start_order * ROWS + studio_loop.start_row <
                               studio_loop.end_order * ROWS + studio_loop.end_row);
            studio_loop.from = span ? rows_from(studio_loop.start_order, studio_loop.start_row, 0) : rows_from(order, 0, 0);
            studio_loop.to = span ? rows_from(studio_loop.end_order, studio_loop.end_row, 0) : rows_from(order + 1, 0, 0);
        }
    }
}

void studio_check_loop()
{
    if (!studio_loop.on || music_is_paused()) return;
    const MusicPosition* p = demo.position;
    const uint64_t at = uint64_t(p->order.load()) * ROWS + p->row.load();
    const uint64_t end = uint64_t(studio_loop.to.order) * ROWS + studio_loop.to.row;
    const uint64_t start = uint64_t(studio_loop.from.order) * ROWS + studio_loop.from.row;
    // At the end, or sent outside the span (by the end loop or a seek): back to its start.
    if (at >= end || at < start) seek(studio_loop.from);
}

void studio_editor_start(int port)
{
    studio_editor.device = sync_create("wendril");
    studio_editor.link = studio_editor.device ? sync_editor_connect(studio_editor.device, port) : nullptr;
    studio_editor.last_row = -1;
    if (!studio_editor.link)
        std::fprintf(stderr, "wendril: %s: the studio runs without a sync editor\n", sync_editor_error());
}

void studio_editor_follow()
{
    SyncEditor* link = studio_editor.link;
    if (!link) return;
    SyncEditorEvents ev;
    const int was_up = sync_editor_connected(link);
    if (!sync_editor_poll(link, &ev)) {
        // A lost connection: the tracks keep their last keys and the demo plays on.
        if (was_up) std::fprintf(stderr, "wendril: the sync editor connection ended: %s\n", link->error);
        return;
    }
    if (ev.pause_set) music_pause(ev.paused);
    if (ev.row_set) {
        seek(rows_from(0, 0, ev.row));
        studio_editor.last_row = ev.row;  // the editor knows where it sent the demo
    }
    const int32_t row = int32_t(demo.position->order.load() * ROWS + demo.position->row.load());
    if (row != studio_editor.last_row && sync_editor_set_row(link, row)) studio_editor.last_row = row;
}

void studio_frame_end()
{
    if (demo.position->order > DEMO_END_LOOP_LAST) music_set_order(DEMO_END_LOOP_ORDER);
    current_gfx_driver->update();
    studio_view_show(demo.vscreen);
    current_gfx_driver->blit(0, 0, demo.vscreen, 0, 0, demo.vscreen->width, demo.vscreen->height);
    studio_view_hide(demo.vscreen);
    sync_update();
    for (int32_t key; (key = current_gfx_driver->get_key()) != 0;)
        if (key == 27) demo.quit = 1;
    studio_frame_done();
    studio_handle_keys();
    studio_editor_follow();
    studio_check_loop();
}

int studio_run(const StudioWhen* from, bool keys, int editor_port, DemoFrameHook hook, void* user)
{
    const int status = demo_start();
    if (status != 0) return status;
    if (!studio_begin()) {
        std::fprintf(stderr, "wendril: the studio cannot start: %s\n", studio_error());
        demo_shutdown();
        return 1;
    }
    if (from && !studio_seek(*from, false)) {
        std::fprintf(stderr, "wendril: --from: %s\n", studio_error());
        demo_shutdown();
        return 2;
    }
    studio_keys_reset();
    if (keys && editor_port > 0) studio_editor_start(editor_port);
    for (uint64_t frame = 0; !demo.quit; frame++) {
        // Paused, the picture holds: nothing is drawn, the same screen is shown.
        if (!music_is_paused()) {
            const auto t0 = std::chrono::steady_clock::now();
            demo_draw();
            studio_view_frame_time(std::chrono::duration<float, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        if (keys) studio_frame_end();
        else demo_frame_end(), studio_frame_done();
        if (hook) hook(frame, user);
    }
    sync_editor_close(studio_editor.link);
    sync_destroy(studio_editor.device);
    studio_editor = {nullptr, nullptr, -1};
    demo_shutdown();
    return 0;
}
