// MIDAS stand-ins: a module is the shared output's song, a play handle its id.
// Start-up steps must come in order (startup, init) as the real library wants.
#include "platform/midas.h"

#include "platform/audio.h"

// ---- module state -----------------------------------------------------------

static struct {
    bool started;     // MIDASstartup
    bool initialised; // MIDASinit
    bool background;  // MIDASstartBackgroundPlay
    int error;
} midas;

static const char* const midas_messages[] = {
    "OK",
    "MIDAS not started or initialised",
    "Unable to start the sound output",
    "Unable to load the module",
    "Invalid handle",
    "Invalid argument",
};

// ---- private helpers --------------------------------------------------------

static BOOL fail(int error)
{
    midas.error = error;
    return FALSE;
}

static AudioSong* playing_song(MIDASmodulePlayHandle handle)
{
    AudioSong* s = audio_song_from_id(handle);
    return s && audio_song_is_playing(s) ? s : nullptr;
}

// ---- system -----------------------------------------------------------------

BOOL MIDAS_CALL MIDASstartup()
{
    midas.started = true;
    midas.error = MIDAS_ERR_NONE;
    return TRUE;
}

BOOL MIDAS_CALL MIDASconfig()
{
    return midas.started ? TRUE : fail(MIDAS_ERR_NOT_STARTED);
}

BOOL MIDAS_CALL MIDASinit()
{
    if (!midas.started) return fail(MIDAS_ERR_NOT_STARTED);
    if (midas.initialised) return TRUE;
    if (!audio_open()) return fail(MIDAS_ERR_OUTPUT);
    midas.initialised = true;
    return TRUE;
}

BOOL MIDAS_CALL MIDASstartBackgroundPlay(DWORD)
{
    // The output already plays in the background (a device callback or the clock).
    if (!midas.initialised) return fail(MIDAS_ERR_NOT_STARTED);
    midas.background = true;
    return TRUE;
}

BOOL MIDAS_CALL MIDASstopBackgroundPlay()
{
    if (!midas.background) return fail(MIDAS_ERR_NOT_STARTED);
    midas.background = false;
    return TRUE;
}

BOOL MIDAS_CALL MIDASclose()
{
    if (midas.initialised) audio_close();
    midas.initialised = false;
    midas.background = false;
    midas.started = false;
    return TRUE;
}

int MIDAS_CALL MIDASgetLastError()
{
    return midas.error;
}

const char* MIDAS_CALL MIDASgetErrorMessage(int errorCode)
{
    int n = static_cast<int>(sizeof midas_messages / sizeof midas_messages[0]);
    return errorCode >= 0 && errorCode < n ? midas_messages[errorCode] : "Unknown error";
}

// ---- modules ----------------------------------------------------------------

MIDASmodule MIDAS_CALL MIDASloadModule(const char* fileName)
{
    if (!midas.initialised) return fail(MIDAS_ERR_NOT_STARTED), nullptr;
    AudioSong* s = fileName ? audio_song_load_file(fileName) : nullptr;
    if (!s) return fail(MIDAS_ERR_FILE), nullptr;
    return s;
}

BOOL MIDAS_CALL MIDASfreeModule(MIDASmodule module)
{
    return audio_song_free(static_cast<AudioSong*>(module)) ? TRUE : fail(MIDAS_ERR_INVALID_HANDLE);
}

MIDASmodulePlayHandle MIDAS_CALL MIDASplayModule(MIDASmodule module, BOOL)
{
    // Songs always loop here; the loop flag is accepted for the signature.
    if (!midas.initialised) return fail(MIDAS_ERR_NOT_STARTED);
    AudioSong* s = static_cast<AudioSong*>(module);
    if (!audio_song_play(s)) return fail(MIDAS_ERR_INVALID_HANDLE);
    return audio_song_id(s);
}

BOOL MIDAS_CALL MIDASstopModule(MIDASmodulePlayHandle playHandle)
{
    AudioSong* s = audio_song_from_id(playHandle);
    return s && audio_song_stop(s) ? TRUE : fail(MIDAS_ERR_INVALID_HANDLE);
}

BOOL MIDAS_CALL MIDASsetPosition(MIDASmodulePlayHandle playHandle, int newPosition)
{
    AudioSong* s = playing_song(playHandle);
    if (!s) return fail(MIDAS_ERR_INVALID_HANDLE);
    return audio_song_set_order(s, newPosition) ? TRUE : fail(MIDAS_ERR_INVALID_ARGUMENT);
}

BOOL MIDAS_CALL MIDASsetMusicVolume(MIDASmodulePlayHandle playHandle, unsigned volume)
{
    AudioSong* s = playing_song(playHandle);
    if (!s) return fail(MIDAS_ERR_INVALID_HANDLE);
    if (volume > 64) return fail(MIDAS_ERR_INVALID_ARGUMENT);
    return audio_song_set_gain(s, volume / 64.0f) ? TRUE : fail(MIDAS_ERR_INVALID_HANDLE);
}

BOOL MIDAS_CALL MIDASgetPlayStatus(MIDASmodulePlayHandle playHandle, MIDASplayStatus* status)
{
    AudioSong* s = audio_song_from_id(playHandle);
    AudioPosition p;
    if (!s || !status || !audio_song_heard(s, &p)) return fail(MIDAS_ERR_INVALID_HANDLE);
    status->position = static_cast<unsigned>(p.order);
    status->pattern = static_cast<unsigned>(p.pattern);
    status->row = static_cast<unsigned>(p.row);
    status->syncInfo = p.sync;
    status->songLoopCount = static_cast<unsigned>(p.loops);
    return TRUE;
}
