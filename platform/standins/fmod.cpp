// FMOD stand-ins: a song handle is the shared output's song; every call checks
// the handle, so a freed song is refused rather than touched.
#include "platform/fmod.h"

#include <chrono>
#include <cstdio>

#include "platform/audio.h"

// ---- module state -----------------------------------------------------------

static struct {
    bool initialised;
    int error;  // FMOD_ERRORS
} fsound;

// ---- private helpers --------------------------------------------------------

static AudioSong* song_of(FMUSIC_MODULE* mod)
{
    return reinterpret_cast<AudioSong*>(mod);
}

// The position the last FMUSIC_GetOrder of this thread answered: a GetRow that
// follows at once answers from the same instant, so an order and row read as a
// pair never straddle a row change (the heard position moves between calls).
struct PairedRead {
    AudioSong* song;
    std::chrono::steady_clock::time_point when;
    AudioPosition pos;
};
static thread_local PairedRead paired = {nullptr, {}, {}};

static signed char fail(int error)
{
    fsound.error = error;
    return 0;
}

// ---- FSOUND -----------------------------------------------------------------

signed char F_API FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int)
{
    if (mixrate < 4000 || mixrate > 65535 || maxsoftwarechannels < 0) return fail(FMOD_ERR_INVALID_PARAM);
    if (fsound.initialised) return 1;
    if (!audio_open()) return fail(FMOD_ERR_INIT);
    fsound.initialised = true;
    fsound.error = FMOD_ERR_NONE;
    return 1;
}

void F_API FSOUND_Close()
{
    if (!fsound.initialised) return;
    fsound.initialised = false;
    audio_close();
}

int F_API FSOUND_GetError()
{
    return fsound.error;
}

// ---- FMUSIC -----------------------------------------------------------------

FMUSIC_MODULE* F_API FMUSIC_LoadSong(const char* name)
{
    if (!fsound.initialised) return fail(FMOD_ERR_UNINITIALIZED), nullptr;
    if (!name) return fail(FMOD_ERR_INVALID_PARAM), nullptr;
    AudioSong* s = audio_song_load_file(name);
    if (!s) {
        // A file that opens but does not parse is a format error.
        FILE* f = std::fopen(name, "rb");
        fail(f ? FMOD_ERR_FILE_FORMAT : FMOD_ERR_FILE_NOTFOUND);
        if (f) std::fclose(f);
        return nullptr;
    }
    return reinterpret_cast<FMUSIC_MODULE*>(s);
}

FMUSIC_MODULE* F_API FMUSIC_LoadSongMemory(void* data, int length)
{
    if (!fsound.initialised) return fail(FMOD_ERR_UNINITIALIZED), nullptr;
    if (!data || length <= 0) return fail(FMOD_ERR_INVALID_PARAM), nullptr;
    AudioSong* s = audio_song_load_memory(data, static_cast<size_t>(length));
    if (!s) return fail(FMOD_ERR_FILE_FORMAT), nullptr;
    return reinterpret_cast<FMUSIC_MODULE*>(s);
}

signed char F_API FMUSIC_FreeSong(FMUSIC_MODULE* mod)
{
    return audio_song_free(song_of(mod)) ? 1 : fail(FMOD_ERR_INVALID_PARAM);
}

signed char F_API FMUSIC_PlaySong(FMUSIC_MODULE* mod)
{
    if (!fsound.initialised) return fail(FMOD_ERR_UNINITIALIZED);
    return audio_song_play(song_of(mod)) ? 1 : fail(FMOD_ERR_INVALID_PARAM);
}

signed char F_API FMUSIC_StopSong(FMUSIC_MODULE* mod)
{
    return audio_song_stop(song_of(mod)) ? 1 : fail(FMOD_ERR_INVALID_PARAM);
}

void F_API FMUSIC_StopAllSongs()
{
    audio_stop_all();
}

signed char F_API FMUSIC_IsPlaying(FMUSIC_MODULE* mod)
{
    return audio_song_is_playing(song_of(mod)) ? 1 : 0;
}

signed char F_API FMUSIC_SetOrder(FMUSIC_MODULE* mod, int order)
{
    return audio_song_set_order(song_of(mod), order) ? 1 : fail(FMOD_ERR_INVALID_PARAM);
}

int F_API FMUSIC_GetOrder(FMUSIC_MODULE* mod)
{
    AudioPosition p;
    if (!audio_song_heard(song_of(mod), &p)) return -1;
    paired = PairedRead{song_of(mod), std::chrono::steady_clock::now(), p};
    return p.order;
}

int F_API FMUSIC_GetPattern(FMUSIC_MODULE* mod)
{
    AudioPosition p;
    return audio_song_heard(song_of(mod), &p) ? p.pattern : -1;
}

int F_API FMUSIC_GetRow(FMUSIC_MODULE* mod)
{
    AudioPosition p;
    if (!audio_song_heard(song_of(mod), &p)) return -1;
    if (paired.song == song_of(mod) && std::chrono::steady_clock::now() - paired.when < std::chrono::milliseconds(2))
        p = paired.pos;
    paired.song = nullptr;
    return p.row;
}

int F_API FMUSIC_GetNumOrders(FMUSIC_MODULE* mod)
{
    return audio_song_num_orders(song_of(mod));
}

int F_API FMUSIC_GetSpeed(FMUSIC_MODULE* mod)
{
    return audio_song_speed(song_of(mod));
}

int F_API FMUSIC_GetBPM(FMUSIC_MODULE* mod)
{
    return audio_song_tempo(song_of(mod));
}

signed char F_API FMUSIC_SetMasterVolume(FMUSIC_MODULE* mod, int volume)
{
    if (volume < 0 || volume > 256) return fail(FMOD_ERR_INVALID_PARAM);
    return audio_song_set_gain(song_of(mod), volume / 256.0f) ? 1 : fail(FMOD_ERR_INVALID_PARAM);
}

int F_API FMUSIC_GetMasterVolume(FMUSIC_MODULE* mod)
{
    float g = audio_song_gain(song_of(mod));
    return g < 0.0f ? -1 : static_cast<int>(g * 256.0f + 0.5f);
}

const char* F_API FMUSIC_GetName(FMUSIC_MODULE* mod)
{
    return audio_song_name(song_of(mod));
}

signed char F_API FMUSIC_SetPaused(FMUSIC_MODULE* mod, signed char pause)
{
    return audio_song_set_paused(song_of(mod), pause) ? 1 : fail(FMOD_ERR_INVALID_PARAM);
}

signed char F_API FMUSIC_GetPaused(FMUSIC_MODULE* mod)
{
    return audio_song_is_paused(song_of(mod)) ? 1 : 0;
}

// ---- extension: seeking by order, row and output frame ------------------------

signed char F_API FMUSIC_SetOrderRow(FMUSIC_MODULE* mod, int order, int row, unsigned long long skip,
                                     double* row_seconds)
{
    return audio_song_seek(song_of(mod), order, row, skip, row_seconds) ? 1 : fail(FMOD_ERR_INVALID_PARAM);
}

double F_API FMUSIC_GetTime(FMUSIC_MODULE* mod)
{
    return audio_song_seconds(song_of(mod));
}

signed char F_API FMUSIC_Advance(FMUSIC_MODULE* mod, unsigned long long frames, int* order, int* row)
{
    AudioPosition p;
    if (!audio_song_advance(song_of(mod), frames, &p)) return fail(FMOD_ERR_INVALID_PARAM);
    if (order) *order = p.order;
    if (row) *row = p.row;
    return 1;
}
