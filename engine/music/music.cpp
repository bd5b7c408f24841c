// The music player and sync clock over the MIDAS and FMOD calls. The main thread
// starts, loads, plays and updates; the multimedia timer's thread only counts
// ticks and copies the heard order and row into the position record.
#include "engine/music/music.h"

#include "engine/io/gio.h"
#include "engine/memory/gmem.h"
#include "platform/fmod.h"
#include "platform/midas.h"

// ---- module state -----------------------------------------------------------

const MusicError music_errors[] = {
    {MUSIC_ERR_TIMER, "Timer error!"},
    {MUSIC_ERR_IO, "IO fetch!"},
    {MUSIC_ERR_MIDAS_STARTUP, "Midas startup"},
    {MUSIC_ERR_MIDAS_CONFIG, "Midas config"},
    {MUSIC_ERR_MIDAS_INIT, "Midas init"},
    {MUSIC_ERR_MIDAS_BACKGROUND, "Midas background player"},
    {MUSIC_ERR_MIDAS_LOAD, "Midas load"},
    {MUSIC_ERR_FMOD_INIT, "Fmod Init"},
    {MUSIC_ERR_FMOD_LOAD, "Fmod load"},
    {MUSIC_ERR_FMOD_MEMLOAD, "Fmod memload"},
};
const int music_error_count = static_cast<int>(sizeof music_errors / sizeof music_errors[0]);

// Items the timer thread reads are atomics (relaxed): one word each, no locks.
static struct {
    uint32_t mode = MUSIC_MIDAS;  // MUSIC_MIDAS set: MIDAS; clear: FMOD
    int error = MUSIC_ERR_NONE;
    MIDASmodule midas_module = nullptr;
    std::atomic<MIDASmodulePlayHandle> midas_play{0};
    int module_playing = -1;  // 1 once a MIDAS play started, -1 when none plays
    std::atomic<FMUSIC_MODULE*> song{nullptr};
    void* image = nullptr;    // the module file, for FMUSIC_LoadSongMemory
    int32_t image_size = 0;
    std::atomic<int> playing{0};
    std::atomic<UINT> timer_id{0};
    int clock_running = 0;
    std::atomic<int> paused{0};  // extension: the clock holds while the song is paused
} music;

static MusicPosition position;

// ---- private helpers --------------------------------------------------------

static int music_fail(int code)
{
    music.error = code;
    return 0;
}

static bool use_midas()
{
    return (music.mode & MUSIC_MIDAS) != 0;
}

static void release_image()
{
    if (music.image) gmem_free(music.image);
    music.image = nullptr;
    music.image_size = 0;
}

// Stops and frees the FMOD song and its memory image. Callers drop the playing
// flag first so the timer thread stops asking about a song about to go; one
// that asked just before gets -1 from the freed handle, which it ignores.
static void fmod_release()
{
    FMUSIC_MODULE* song = music.song.exchange(nullptr);
    if (song) {
        FMUSIC_StopSong(song);
        FMUSIC_FreeSong(song);
    }
    release_image();
}

static void midas_release()
{
    if (music.module_playing == -1) return;
    MIDASstopModule(music.midas_play.exchange(0));
    MIDASfreeModule(music.midas_module);
    music.midas_module = nullptr;
    music.module_playing = -1;
}

// A new song replaces the old one: the old one is stopped and freed rather than
// left playing with no handle to stop it.
static void replace_song()
{
    music.playing.store(0);
    if (!use_midas()) {
        fmod_release();
    } else if (music.module_playing != -1) {
        midas_release();
    } else if (music.midas_module) {
        MIDASfreeModule(music.midas_module);
        music.midas_module = nullptr;
    }
}

// ---- player -----------------------------------------------------------------

int music_init(const char* name, uint32_t flags, int)
{
    if (flags & MUSIC_FMOD) music.mode = MUSIC_FMOD;
    if (flags & MUSIC_MIDAS) {
        if (!MIDASstartup()) return music_fail(MUSIC_ERR_MIDAS_STARTUP);
        if (!MIDASconfig()) return music_fail(MUSIC_ERR_MIDAS_CONFIG);
        if (!MIDASinit()) return music_fail(MUSIC_ERR_MIDAS_INIT);
        if (!MIDASstartBackgroundPlay(0)) return music_fail(MUSIC_ERR_MIDAS_BACKGROUND);
    } else if (!FSOUND_Init(44100, 32)) {
        return music_fail(MUSIC_ERR_FMOD_INIT);
    }
    if (name) {
        if (!music_load(name)) return 0;
        if ((flags & MUSIC_PLAY) && !music_play(0)) return 0;
    }
    if (flags & (MUSIC_SYNC | MUSIC_PLAY)) sync_start(0.1f);
    return 1;
}

int music_load(const char* name)
{
    if (use_midas()) {
        MIDASmodule module = MIDASloadModule(name);
        if (!module) return music_fail(MUSIC_ERR_MIDAS_LOAD);
        replace_song();
        music.midas_module = module;
        return 1;
    }
    FMUSIC_MODULE* song = FMUSIC_LoadSong(name);
    if (!song) return music_fail(MUSIC_ERR_FMOD_LOAD);
    replace_song();
    music.song.store(song);
    return 1;
}

int music_load_memory(const char* name)
{
    if (!name || !(music.mode & MUSIC_FMOD)) return 0;
    int32_t size = 0;
    void* image = gio_read_file(name, &size);
    if (!image) return music_fail(MUSIC_ERR_IO);
    FMUSIC_MODULE* song = FMUSIC_LoadSongMemory(image, size);
    if (!song) {
        // No song lives on this image: give it back instead of keeping it.
        gmem_free(image);
        return music_fail(MUSIC_ERR_FMOD_MEMLOAD);
    }
    replace_song();
    music.image = image;
    music.image_size = size;
    music.song.store(song);
    return 1;
}

int music_play(int)
{
    if (use_midas()) {
        MIDASmodulePlayHandle handle = MIDASplayModule(music.midas_module, TRUE);
        if (!handle) return 0;
        music.midas_play.store(handle);
    } else {
        FMUSIC_PlaySong(music.song.load());
    }
    music.module_playing = 1;
    music.playing.store(1);
    music.paused.store(0);
    return 1;
}

int music_set_order(int order)
{
    if (!music.playing.load()) return 0;
    if (use_midas()) return MIDASsetPosition(music.midas_play.load(), order) ? 1 : 0;
    FMUSIC_SetOrder(music.song.load(), order);
    return 1;
}

int music_restart()
{
    return music_set_order(0);
}

int music_set_volume(int volume)
{
    if (!music.playing.load()) return 0;
    if (!use_midas()) return 1;
    if (volume < 0) volume = 0;
    if (volume > 63) volume = 63;
    return MIDASsetMusicVolume(music.midas_play.load(), static_cast<unsigned>(volume)) ? 1 : 0;
}

int music_stop()
{
    if (!music.playing.load()) return 0;
    music.playing.store(0);
    music.paused.store(0);
    if (use_midas()) midas_release();
    else fmod_release();
    return 0;
}

int music_shutdown()
{
    // The clock goes first: timeKillEvent waits for a running callback, so
    // none can be reading the song while it is freed below.
    sync_stop();
    if (use_midas()) {
        if (music.playing.load()) midas_release();
        MIDASstopBackgroundPlay();
        MIDASclose();
    } else {
        if (music.playing.load()) fmod_release();
        FSOUND_Close();
    }
    return 1;
}

const char* music_error_string()
{
    for (int i = 0; i < music_error_count; i++)
        if (music_errors[i].code == music.error) return music_errors[i].message;
    return "No error";
}

// ---- sync clock -------------------------------------------------------------

void CALLBACK sync_timer_callback(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (id != music.timer_id.load(std::memory_order_relaxed)) return;
    if (music.paused.load(std::memory_order_relaxed)) return;
    // One writer (this thread): load and store need no read-modify-write.
    position.ticks.store(position.ticks.load(std::memory_order_relaxed) + 1.0f, std::memory_order_relaxed);
    position.count.store(position.count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (!music.playing.load(std::memory_order_relaxed)) return;
    if (use_midas()) {
        MIDASplayStatus status;
        if (!MIDASgetPlayStatus(music.midas_play.load(std::memory_order_relaxed), &status)) return;
        position.order.store(status.position, std::memory_order_relaxed);
        position.pattern.store(status.pattern, std::memory_order_relaxed);
        position.row.store(status.row, std::memory_order_relaxed);
        position.sync_info.store(status.syncInfo, std::memory_order_relaxed);
        position.loop_count.store(status.songLoopCount, std::memory_order_relaxed);
        return;
    }
    // A song freed under us answers -1: keep the last position rather than store it.
    FMUSIC_MODULE* song = music.song.load(std::memory_order_relaxed);
    int order = FMUSIC_GetOrder(song);
    if (order >= 0) position.order.store(static_cast<uint32_t>(order), std::memory_order_relaxed);
    int row = FMUSIC_GetRow(song);
    if (row >= 0) position.row.store(static_cast<uint32_t>(row), std::memory_order_relaxed);
}

int sync_start(float)
{
    MMTIME time;
    TIMECAPS caps;
    if (timeGetSystemTime(&time, sizeof time) != TIMERR_NOERROR) return music_fail(MUSIC_ERR_TIMER);
    if (timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) return music_fail(MUSIC_ERR_TIMER);
    // A second start replaces the running timer instead of leaving it firing unseen.
    if (music.clock_running) sync_stop();
    UINT id = timeSetEvent(14, 7, sync_timer_callback, 0, TIME_PERIODIC);
    if (id == 0) return music_fail(MUSIC_ERR_TIMER);
    music.timer_id.store(id);
    music.clock_running = 1;
    return 1;
}

int sync_stop()
{
    if (!music.clock_running) return 0;
    timeKillEvent(music.timer_id.load());
    music.clock_running = 0;
    return 1;
}

int sync_update()
{
    if (!music.clock_running) return 0;
    float ticks = position.ticks.load(std::memory_order_relaxed);
    float d = ticks - position.last_ticks;
    position.frame_ticks = d;
    if (d > 0.0f) {
        int32_t count = position.count.load(std::memory_order_relaxed);
        position.frame_count = count - position.last_count;
        position.last_ticks = ticks;
        position.last_count = count;
    }
    return 1;
}

MusicPosition* sync_position()
{
    return &position;
}

// ---- extension: seeking and pausing -------------------------------------------

// The FMOD song when one is playing; null otherwise (or with MIDAS).
static FMUSIC_MODULE* seekable_song()
{
    if (use_midas() || !music.playing.load()) return nullptr;
    return music.song.load();
}

int music_pause(int paused)
{
    FMUSIC_MODULE* song = seekable_song();
    if (!song || !FMUSIC_SetPaused(song, paused ? 1 : 0)) return 0;
    music.paused.store(paused ? 1 : 0);
    return 1;
}

int music_is_paused()
{
    return music.paused.load();
}

int music_seek(uint32_t order, uint32_t row, uint64_t skip)
{
    FMUSIC_MODULE* song = seekable_song();
    if (!song || order > INT32_MAX || row > INT32_MAX) return 0;
    if (!FMUSIC_SetOrderRow(song, static_cast<int>(order), static_cast<int>(row), skip, nullptr)) return 0;
    int o = FMUSIC_GetOrder(song), r = FMUSIC_GetRow(song);
    if (o >= 0) position.order.store(static_cast<uint32_t>(o), std::memory_order_relaxed);
    if (r >= 0) position.row.store(static_cast<uint32_t>(r), std::memory_order_relaxed);
    return 1;
}

int music_tell(MusicPlace* place)
{
    FMUSIC_MODULE* song = seekable_song();
    int order = 0, row = 0;
    if (!song || !place || !FMUSIC_Advance(song, 0, &order, &row)) return 0;
    place->order = static_cast<uint32_t>(order);
    place->row = static_cast<uint32_t>(row);
    place->seconds = FMUSIC_GetTime(song);
    return 1;
}

int music_seek_place(const MusicPlace* place)
{
    FMUSIC_MODULE* song = seekable_song();
    if (!song || !place || place->order > INT32_MAX || place->row > INT32_MAX) return 0;
    double row_seconds = 0.0;
    const int order = static_cast<int>(place->order), row = static_cast<int>(place->row);
    if (!FMUSIC_SetOrderRow(song, order, row, 0, &row_seconds)) return 0;
    // The song's time counts whole output frames from the row's start.
    const double into = (place->seconds - row_seconds) * 44100.0;
    const uint64_t skip = into > 0.0 ? static_cast<uint64_t>(into + 0.5) : 0;
    return skip == 0 ? 1 : music_seek(place->order, place->row, skip);
}

int music_advance(uint64_t frames, uint32_t* order, uint32_t* row)
{
    FMUSIC_MODULE* song = seekable_song();
    int o = 0, r = 0;
    if (!song || !FMUSIC_Advance(song, frames, &o, &r)) return 0;
    if (order) *order = static_cast<uint32_t>(o);
    if (row) *row = static_cast<uint32_t>(r);
    return 1;
}

void sync_set(const MusicPosition* from)
{
    const auto relaxed = std::memory_order_relaxed;
    position.frame_ticks = from->frame_ticks;
    position.ticks.store(from->ticks.load(relaxed), relaxed);
    position.frame_count = from->frame_count;
    position.count.store(from->count.load(relaxed), relaxed);
    position.order.store(from->order.load(relaxed), relaxed);
    position.pattern.store(from->pattern.load(relaxed), relaxed);
    position.row.store(from->row.load(relaxed), relaxed);
    position.sync_info.store(from->sync_info.load(relaxed), relaxed);
    position.loop_count.store(from->loop_count.load(relaxed), relaxed);
    position.last_ticks = from->last_ticks;
    position.last_count = from->last_count;
}
