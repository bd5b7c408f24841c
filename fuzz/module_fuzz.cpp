// Fuzz target for module loading: every input is handed to the music player's
// memory loader (the whole file read through GIO, then the FMOD stand-in) on the
// headless host, with no sound device. A module that loads is played for a few
// sync-clock ticks (which ask it for its order and row), moved to an order and stopped. Neither a crash,
// an overrun nor a GMEM block left behind is allowed.
#include <fuzzer/FuzzedDataProvider.h>

#include "engine/music/music.h"
#include "fuzz/fuzz_file.h"
#include "platform/host_clock.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The FMOD back end and the sync clock, no module yet: the clock's ticks on
    // the virtual clock ask the song for its order and row, as in the demo.
    if (!music_init(nullptr, MUSIC_FMOD | MUSIC_SYNC, 0)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* file = fuzz::write_input(data, size);
    const int32_t blocks = fuzz::live_blocks();
    if (music_load_memory(file)) {
        // The last bytes pick how far to play and where to jump: the module's
        // own bytes decide the rest, so inputs stay module files.
        FuzzedDataProvider tail(data, size);
        const int order = tail.ConsumeIntegralInRange<int>(-2, 300);
        if (music_play(0) != 1) std::abort();
        host_clock_advance(20000);  // 20 ms of the song rendered on the virtual clock
        music_set_order(order);
        host_clock_advance(10000);
        music_stop();
        if (sync_update() != 1) std::abort();
    } else if (music_error_string()[0] == '\0') {
        std::abort();  // a refusal always has its message
    }
    fuzz::check_no_leak(blocks);
    return 0;
}
