// The waveOut sound output against a stand-in device: the system's waveOut calls
// are replaced at link time by the ones below (a test program of its own, run
// under Wine by wine_test.sh), so a device can refuse a buffer, answer its
// position in bytes past 2^32, or be left open at exit.
//   waveout_test refused   a buffer refused while playing, then a device that
//                          refuses to prepare its buffers: each time the songs
//                          go on on the wall clock from the last heard frame,
//                          and that is said once
//   waveout_test bytes     a position in bytes wraps at 2^32 bytes
//   waveout_test exit      exit() with the device open closes it first (status 0)
// Prints "waveout_test <case>: ok" and ends with status 0, or says what failed.
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host_audio.h"

namespace {

// ---- the stand-in device ---------------------------------------------------------

struct {
    std::mutex lock;
    HANDLE event = nullptr;
    bool closed = false;
    int refuse_write_at = 0;  // the n-th write (from 1) and every later one is refused; 0: none
    bool refuse_prepare = false;
    bool answer_bytes = false;
    int writes = 0;
    int refused = 0;
    int prepared = 0;  // headers prepared and not unprepared
    std::deque<WAVEHDR*> queued;
    uint64_t played_frames = 0;  // what the device has played since it was opened
} dev;

int device_tag;  // its address is the device handle

UINT WINAPI fake_get_num_devs() { return 1; }

MMRESULT WINAPI fake_open(LPHWAVEOUT out, UINT, LPCWAVEFORMATEX, DWORD_PTR callback, DWORD_PTR, DWORD flags)
{
    std::lock_guard<std::mutex> g(dev.lock);
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_EVENT) return MMSYSERR_INVALFLAG;
    dev.event = reinterpret_cast<HANDLE>(callback);
    dev.closed = false;
    dev.writes = 0;
    dev.played_frames = 0;
    *out = reinterpret_cast<HWAVEOUT>(&device_tag);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI fake_prepare(HWAVEOUT, LPWAVEHDR header, UINT)
{
    std::lock_guard<std::mutex> g(dev.lock);
    if (dev.refuse_prepare) return MMSYSERR_NOMEM;
    header->dwFlags |= WHDR_PREPARED;
    dev.prepared++;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI fake_unprepare(HWAVEOUT, LPWAVEHDR header, UINT)
{
    std::lock_guard<std::mutex> g(dev.lock);
    if (!(header->dwFlags & WHDR_PREPARED)) return MMSYSERR_NOERROR;
    header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
    dev.prepared--;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI fake_write(HWAVEOUT, LPWAVEHDR header, UINT)
{
    std::lock_guard<std::mutex> g(dev.lock);
    dev.writes++;
    if (dev.refuse_write_at && dev.writes >= dev.refuse_write_at) {
        dev.refused++;
        return MMSYSERR_NODRIVER;  // what a removed device answers
    }
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    header->dwFlags |= WHDR_INQUEUE;
    dev.queued.push_back(header);
    return MMSYSERR_NOERROR;
}

// Returns every queued buffer; the position is not moved.
MMRESULT WINAPI fake_reset(HWAVEOUT)
{
    std::lock_guard<std::mutex> g(dev.lock);
    for (WAVEHDR* h : dev.queued) h->dwFlags = (h->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
    dev.queued.clear();
    if (dev.event) SetEvent(dev.event);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI fake_close(HWAVEOUT)
{
    std::lock_guard<std::mutex> g(dev.lock);
    if (!dev.queued.empty()) return WAVERR_STILLPLAYING;
    dev.closed = true;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI fake_get_position(HWAVEOUT, LPMMTIME time, UINT)
{
    std::lock_guard<std::mutex> g(dev.lock);
    if (dev.answer_bytes) {
        time->wType = TIME_BYTES;
        time->u.cb = static_cast<DWORD>(dev.played_frames * 4);  // 32 bits, as a driver keeps it
    } else {
        time->wType = TIME_SAMPLES;
        time->u.sample = static_cast<DWORD>(dev.played_frames);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI fake_error_text(MMRESULT, LPSTR text, UINT size)
{
    std::snprintf(text, size, "the device was removed");
    return MMSYSERR_NOERROR;
}

// The device plays its `n` oldest queued buffers and hands them back.
void play(int n)
{
    std::lock_guard<std::mutex> g(dev.lock);
    for (; n > 0 && !dev.queued.empty(); n--) {
        WAVEHDR* h = dev.queued.front();
        dev.queued.pop_front();
        dev.played_frames += h->dwBufferLength / 4;
        h->dwFlags = (h->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
    }
    SetEvent(dev.event);
}

// ---- checks ------------------------------------------------------------------------

const char* current_case = "";

[[noreturn]] void fail(const std::string& what)
{
    std::printf("waveout_test %s: FAILED: %s\n", current_case, what.c_str());
    std::fflush(stdout);
    std::_Exit(1);
}

void expect(bool ok, const std::string& what)
{
    if (!ok) fail(what);
}

std::string num(uint64_t v) { return std::to_string(v); }

// Waits up to 5 s for `done`.
template <class F>
void wait_for(F done, const char* what)
{
    for (int i = 0; i < 500; i++) {
        {
            std::lock_guard<std::mutex> g(dev.lock);
            if (done()) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fail(std::string("waited 5 s for ") + what);
}

// The output frame heard now, through the calls the module players make.
uint64_t heard_now()
{
    audio_host_pump();
    return audio_host_heard_frames();
}

// The songs must go on on the wall clock from `from`: right after, near it and
// not before it; 300 ms later, at least 100 ms further (slack for a busy machine).
void expect_wall_clock_from(uint64_t from, const char* when)
{
    const uint64_t first = heard_now();
    expect(first >= from && first < from + AUDIO_RATE / 10,
           std::string(when) + ": heard frame " + num(first) + " right after, not near the last heard " + num(from));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const uint64_t later = heard_now();
    expect(later >= first + AUDIO_RATE / 10,
           std::string(when) + ": heard frame " + num(later) + " 300 ms after " + num(first) + ": the clock stands");
}

// ---- cases ---------------------------------------------------------------------------

void refused()
{
    const char* log_name = "waveout_test.stderr";
    if (!std::freopen(log_name, "w+", stderr)) fail("no file for standard error");

    // Four buffers queued, two played and refilled, one more played: then the
    // device refuses the next one (the seventh write).
    dev.refuse_write_at = 7;
    expect(audio_open() == 1, "audio_open failed");
    wait_for([] { return dev.writes == 4; }, "four buffers written");
    play(2);
    wait_for([] { return dev.writes == 6; }, "two buffers written again");
    const uint64_t heard = heard_now();
    expect(heard == 2048, "heard frame " + num(heard) + " with 2048 played");
    play(1);
    wait_for([] { return dev.refused == 1; }, "the refused write");
    expect_wall_clock_from(3072, "after the refused write");
    audio_close();
    expect(dev.closed && dev.prepared == 0, "the device was not unprepared and closed");

    // A device that refuses to prepare its buffers at the next start.
    dev.refuse_prepare = true;
    const uint64_t rendered = audio_rendered_frames();
    expect(audio_open() == 1, "audio_open failed with buffers that cannot be prepared");
    expect(dev.closed && dev.prepared == 0, "the refusing device was left open");
    expect_wall_clock_from(rendered, "after the refused preparation");
    audio_close();

    std::fflush(stderr);
    std::fseek(stderr, 0, SEEK_SET);
    std::string log;
    char part[512];
    for (size_t n; (n = std::fread(part, 1, sizeof part, stderr)) > 0;) log.append(part, n);
    const std::string said = "audio: the sound device refused a buffer (waveOutWrite: the device was removed); "
                             "the music plays silently on the wall clock\n";
    expect(log == said, "standard error was \"" + log + "\", not the refusal once");
}

void bytes()
{
    // A driver that answers in bytes: its count wraps at 2^32 bytes, a quarter
    // of the frames. The device holds its four buffers; the rest of 2^30 frames
    // and more is rendered here, as if it had been played.
    dev.answer_bytes = true;
    expect(audio_open() == 1, "audio_open failed");
    wait_for([] { return dev.writes == 4; }, "four buffers written");
    std::vector<float> block(size_t(1) << 17);
    const uint64_t want = (uint64_t(1) << 30) + 8192;
    while (audio_rendered_frames() < want) audio_render(block.data(), 1 << 16);
    const uint64_t steps[] = {(uint64_t(1) << 30) - 1024, (uint64_t(1) << 30) + 1024, (uint64_t(1) << 30) + 4096};
    for (uint64_t played : steps) {
        {
            std::lock_guard<std::mutex> g(dev.lock);
            dev.played_frames = played;
        }
        const uint64_t heard = audio_host_heard_frames();
        expect(heard == played, "heard frame " + num(heard) + " with " + num(played) + " frames played");
    }
    audio_close();
}

void exit_open()
{
    // Registered before the sound opens, so it runs after the sound's own handler.
    std::atexit([] {
        if (!dev.closed) {
            std::printf("waveout_test exit: FAILED: the device was still open at exit\n");
            std::fflush(stdout);
            std::_Exit(4);
        }
        std::printf("waveout_test exit: ok\n");
        std::fflush(stdout);
    });
    expect(audio_open() == 1, "audio_open failed");
    wait_for([] { return dev.writes == 4; }, "four buffers written");
    play(1);
    std::exit(0);
}

}  // namespace

// The stand-ins take the place of winmm's entries: the sound output calls
// through these pointers (the system's import table entries) as it would
// through winmm's.
extern "C" {
decltype(&waveOutGetNumDevs) __imp_waveOutGetNumDevs = fake_get_num_devs;
decltype(&waveOutOpen) __imp_waveOutOpen = fake_open;
decltype(&waveOutPrepareHeader) __imp_waveOutPrepareHeader = fake_prepare;
decltype(&waveOutUnprepareHeader) __imp_waveOutUnprepareHeader = fake_unprepare;
decltype(&waveOutWrite) __imp_waveOutWrite = fake_write;
decltype(&waveOutReset) __imp_waveOutReset = fake_reset;
decltype(&waveOutClose) __imp_waveOutClose = fake_close;
decltype(&waveOutGetPosition) __imp_waveOutGetPosition = fake_get_position;
decltype(&waveOutGetErrorTextA) __imp_waveOutGetErrorTextA = fake_error_text;
}

int main(int argc, char** argv)
{
    current_case = argc == 2 ? argv[1] : "";
    if (!std::strcmp(current_case, "refused")) {
        refused();
    } else if (!std::strcmp(current_case, "bytes")) {
        bytes();
    } else if (!std::strcmp(current_case, "exit")) {
        exit_open();
    } else {
        std::printf("usage: waveout_test refused|bytes|exit\n");
        return 2;
    }
    std::printf("waveout_test %s: ok\n", current_case);
    return 0;
}
