// MIDAS Digital Audio System 1.1 (midas11.dll), the calls the music module
// makes, as stand-ins over the shared sound output (platform/audio.h). Modules
// play through libopenmpt at 44100 Hz stereo; positions are the ones heard.
#pragma once

#include "platform/windef.h"

#define MIDAS_CALL

typedef void* MIDASmodule;              // a loaded module, null on failure
typedef DWORD MIDASmodulePlayHandle;    // a playing module, 0 on failure

// The play status: five 32-bit fields, the layout MIDASgetPlayStatus fills.
typedef struct {
    unsigned position;       // order
    unsigned pattern;
    unsigned row;
    int syncInfo;            // value of the last sync command (effect W)
    unsigned songLoopCount;  // times the song looped
} MIDASplayStatus;
static_assert(sizeof(MIDASplayStatus) == 20, "five 32-bit fields");

enum {
    MIDAS_ERR_NONE = 0,
    MIDAS_ERR_NOT_STARTED = 1,     // MIDASstartup or MIDASinit missing
    MIDAS_ERR_OUTPUT = 2,          // the sound output could not be started
    MIDAS_ERR_FILE = 3,            // the file could not be read or is no module
    MIDAS_ERR_INVALID_HANDLE = 4,
    MIDAS_ERR_INVALID_ARGUMENT = 5,
};

BOOL MIDAS_CALL MIDASstartup();
BOOL MIDAS_CALL MIDASconfig();   // no dialog here: the output is fixed
BOOL MIDAS_CALL MIDASinit();     // starts the sound output
BOOL MIDAS_CALL MIDASstartBackgroundPlay(DWORD pollRate);
BOOL MIDAS_CALL MIDASstopBackgroundPlay();
BOOL MIDAS_CALL MIDASclose();
int MIDAS_CALL MIDASgetLastError();
const char* MIDAS_CALL MIDASgetErrorMessage(int errorCode);

MIDASmodule MIDAS_CALL MIDASloadModule(const char* fileName);
BOOL MIDAS_CALL MIDASfreeModule(MIDASmodule module);
MIDASmodulePlayHandle MIDAS_CALL MIDASplayModule(MIDASmodule module, BOOL loopSong);
BOOL MIDAS_CALL MIDASstopModule(MIDASmodulePlayHandle playHandle);
BOOL MIDAS_CALL MIDASsetPosition(MIDASmodulePlayHandle playHandle, int newPosition);
// Volume 0 .. 64; anything above is refused (FALSE).
BOOL MIDAS_CALL MIDASsetMusicVolume(MIDASmodulePlayHandle playHandle, unsigned volume);
BOOL MIDAS_CALL MIDASgetPlayStatus(MIDASmodulePlayHandle playHandle, MIDASplayStatus* status);
