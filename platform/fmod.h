// FMOD 3 (fsound.dll), the calls the music module makes, as stand-ins over the
// shared sound output (platform/audio.h): modules played by libopenmpt at
// 44100 Hz stereo, looping; GetOrder/GetRow answer the position being heard.
#pragma once

#include "platform/windef.h"

#define F_API

typedef struct FMUSIC_MODULE FMUSIC_MODULE;

enum FMOD_ERRORS {
    FMOD_ERR_NONE,
    FMOD_ERR_BUSY,
    FMOD_ERR_UNINITIALIZED,  // FSOUND_Init has not succeeded
    FMOD_ERR_INIT,           // the sound output could not be started
    FMOD_ERR_ALLOCATED,
    FMOD_ERR_PLAY,
    FMOD_ERR_OUTPUT_FORMAT,
    FMOD_ERR_COOPERATIVELEVEL,
    FMOD_ERR_CREATEBUFFER,
    FMOD_ERR_FILE_NOTFOUND,  // the file could not be opened
    FMOD_ERR_FILE_FORMAT,    // not a module libopenmpt reads
    FMOD_ERR_FILE_BAD,
    FMOD_ERR_MEMORY,
    FMOD_ERR_VERSION,
    FMOD_ERR_INVALID_PARAM,  // a bad handle or argument
};

// Starts the sound output. The mixer always runs at 44100 Hz stereo; the rate
// and channel count are checked for sense only. TRUE (1) or FALSE (0).
signed char F_API FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags = 0);
// Stops every song and the output. Songs stay loaded until freed.
void F_API FSOUND_Close();
int F_API FSOUND_GetError();  // FMOD_ERRORS of the last failure

FMUSIC_MODULE* F_API FMUSIC_LoadSong(const char* name);            // null on failure
FMUSIC_MODULE* F_API FMUSIC_LoadSongMemory(void* data, int length);  // copies the bytes
signed char F_API FMUSIC_FreeSong(FMUSIC_MODULE* mod);      // stops it first
signed char F_API FMUSIC_PlaySong(FMUSIC_MODULE* mod);      // from the start, looping
signed char F_API FMUSIC_StopSong(FMUSIC_MODULE* mod);
void F_API FMUSIC_StopAllSongs();
signed char F_API FMUSIC_IsPlaying(FMUSIC_MODULE* mod);
signed char F_API FMUSIC_SetOrder(FMUSIC_MODULE* mod, int order);  // takes effect at once
int F_API FMUSIC_GetOrder(FMUSIC_MODULE* mod);    // heard now; -1 for a bad handle
int F_API FMUSIC_GetPattern(FMUSIC_MODULE* mod);  // heard now
int F_API FMUSIC_GetRow(FMUSIC_MODULE* mod);      // heard now; -1 for a bad handle
int F_API FMUSIC_GetNumOrders(FMUSIC_MODULE* mod);
int F_API FMUSIC_GetSpeed(FMUSIC_MODULE* mod);
int F_API FMUSIC_GetBPM(FMUSIC_MODULE* mod);
signed char F_API FMUSIC_SetMasterVolume(FMUSIC_MODULE* mod, int volume);  // 0 .. 256
int F_API FMUSIC_GetMasterVolume(FMUSIC_MODULE* mod);
const char* F_API FMUSIC_GetName(FMUSIC_MODULE* mod);
// FMOD 3's pause: the song holds its place, silent, until unpaused.
signed char F_API FMUSIC_SetPaused(FMUSIC_MODULE* mod, signed char pause);
signed char F_API FMUSIC_GetPaused(FMUSIC_MODULE* mod);
// Extension, not in FMOD (the studio's seeking): row `row` of `order`, then
// `skip` output frames further, heard at once; the row's time in seconds goes to
// *row_seconds. The song's time at the mixer, and moving a song on unheard.
signed char F_API FMUSIC_SetOrderRow(FMUSIC_MODULE* mod, int order, int row, unsigned long long skip,
                                     double* row_seconds);
double F_API FMUSIC_GetTime(FMUSIC_MODULE* mod);
signed char F_API FMUSIC_Advance(FMUSIC_MODULE* mod, unsigned long long frames, int* order, int* row);
