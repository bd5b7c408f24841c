// wendril-capture: runs the demo on the headless host at a fixed frame rate and
// writes a span of it as numbered PNG frames and a WAV of exactly that span, an
// MP4 (through ffmpeg), a contact sheet, a per-frame log and the frames' hashes.
// Frame N is the same on every run: the virtual clock puts it at
// floor(N * 1e6 / fps) us.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/demo.h"
#include "app/studio.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/audio.h"
#include "platform/host.h"
#include "tools/capture/capture_output.h"
#include "tools/capture/frame_hash.h"
#include "tools/capture/span.h"

#ifdef _WIN32
// Windows (mingw-w64): no hard links (an earlier file is moved aside instead), no
// symbolic links to tell from their targets, and mkdir without a mode.
#define lstat stat
#define link(from, to) (errno = ENOSYS, -1)
#define mkdir(path, mode) mkdir(path)
#endif

namespace {

const char* const USAGE =
    "usage: wendril-capture [options]\n"
    "Runs the demo without a window at a fixed frame rate and writes a span of it.\n"
    "\n"
    "  --fps N             frames a second, 1 .. 1000 (default 60)\n"
    "  --from WHEN         first frame: seconds (12.5) or order:row (9:0) (default 0)\n"
    "  --to WHEN           end, not included: seconds or order:row\n"
    "                      (default: two seconds into the end loop, order %u)\n"
    "  --frames N          capture N frames (instead of --to)\n"
    "  --out DIR           frame_NNNNNN.png (N counts from the demo's start) and\n"
    "                      wendril.wav, exactly the span's sound (default: capture,\n"
    "                      when no other output is asked for)\n"
    "  --wav FILE          exactly the span's sound, as 16-bit stereo 44.1 kHz WAV\n"
    "                      (in place of DIR/wendril.wav)\n"
    "  --every N           write every Nth frame of the span as PNG (default 1)\n"
    "  --scale S           draw at S times 320 x 240, S from 1 to 8 (2, 4.5 ...);\n"
    "                      default 1, or TAVIK_SCALE when set (4.5 is 1440 x 1080)\n"
    "  --mp4 FILE          H.264 and AAC video of the span (needs ffmpeg): twice the\n"
    "                      size at scale 1, exactly the scaled size otherwise\n"
    "  --contact-sheet FILE  PNG with one labelled thumbnail per order\n"
    "  --log FILE          one line per frame: frame, virtual ms, ticks, order, row\n"
    "  --hashes FILE       one line per frame: frame, order, row and the hash of its\n"
    "                      pixels, as in tests/app/demo_frames.txt (the default span\n"
    "                      at 60 fps and scale 1 gives that file)\n"
    "  --timings FILE      one line per frame: frame and the wall-clock ms its\n"
    "                      drawing and frame end took (for benchmarks)\n"
    "  --data DIR          where the demo's files are (default .)\n"
    "  --quiet             no progress on standard error\n"
    "  --help              this text\n"
    "\n"
    "Seconds pick the first frame at or after that time; order:row picks the first\n"
    "frame whose music position is at or past it. The WAV of a span starting at\n"
    "frame F starts at sample round(F * 44100 / fps).\n"
#ifdef TAVIK_NO_PNG
    "\nThis build writes no PNG files (--out's frames, --contact-sheet) and runs no\n"
    "ffmpeg (--mp4): --hashes, --wav and --log are what it writes.\n"
#endif
    ;

struct Options {
    uint32_t fps = 60;
    SpanWhen from, to;
    uint64_t every = 1;
    std::string out, mp4, sheet, log, hashes, wav, timings, data = ".";
    bool quiet = false;
    float scale = 1.0f;
};

// What a frame saw when it was drawn.
struct Snapshot {
    uint64_t frame;
    uint64_t time_us;
    float ticks;
    uint32_t order;
    uint32_t row;
};

[[noreturn]] void bad(const std::string& message) {
    std::fprintf(stderr, "wendril-capture: %s\n(wendril-capture --help lists the options)\n", message.c_str());
    std::exit(2);
}

bool parse_uint(const std::string& text, uint64_t* value, uint64_t max) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return *value <= max;
}

uint64_t positive(const std::string& option, const std::string& text, uint64_t max) {
    uint64_t v;
    if (!parse_uint(text, &v, max) || v == 0)
        bad(option + " wants a whole number from 1 to " + std::to_string(max) + ", not '" + text + "'");
    return v;
}

// "12", "12.5" (seconds, kept exact as a fraction) or "9:16" (order:row): read as
// wendril --from reads them (studio_parse_when), within the capture's bounds.
SpanWhen parse_when(const std::string& option, const std::string& text) {
    StudioWhen read;
    const bool ok = studio_parse_when(text.c_str(), &read);
    SpanWhen w;
    if (text.find(':') != std::string::npos) {
        if (!ok || read.kind != StudioWhen::POSITION)
            bad(option + " wants seconds (12.5) or order:row (9:0) with order and row 0 .. 255, not '" + text + "'");
        w.kind = SpanWhen::POSITION;
        w.order = read.order;
        w.row = read.row;
        return w;
    }
    if (!ok || read.kind != StudioWhen::SECONDS || read.den > 1000000 || read.num / read.den > 86400)
        bad(option + " wants seconds (12.5, at most 86400) or order:row (9:0), not '" + text + "'");
    w.kind = SpanWhen::SECONDS;
    w.num = read.num;
    w.den = read.den;
    return w;
}

Options parse(int argc, char** argv) {
    Options o;
    bool frames_given = false, to_given = false, scale_given = false;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf(USAGE, unsigned(DEMO_END_LOOP_ORDER));
            std::exit(0);
        }
        if (arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) bad("unexpected argument '" + arg + "'");
        static const char* const with_value[] = {"--fps", "--from", "--to", "--frames", "--out", "--every",
                                                  "--mp4", "--contact-sheet", "--log", "--hashes", "--wav", "--timings", "--data",
                                                  "--scale"};
        bool known = false;
        for (const char* name : with_value) known = known || arg == name;
        if (!known) bad("unknown option '" + arg + "'");
        if (i + 1 >= argc) bad(arg + " needs a value");
        const std::string value = argv[++i];
        if (value.empty()) bad(arg + " needs a value");
        if (arg == "--fps") o.fps = uint32_t(positive(arg, value, 1000));
        else if (arg == "--from") o.from = parse_when(arg, value);
        else if (arg == "--to") o.to = parse_when(arg, value), to_given = true;
        else if (arg == "--frames") o.to.kind = SpanWhen::COUNT, o.to.num = positive(arg, value, 100000000), frames_given = true;
        else if (arg == "--every") o.every = positive(arg, value, 100000000);
        else if (arg == "--out") o.out = value;
        else if (arg == "--mp4") o.mp4 = value;
        else if (arg == "--contact-sheet") o.sheet = value;
        else if (arg == "--log") o.log = value;
        else if (arg == "--hashes") o.hashes = value;
        else if (arg == "--timings") o.timings = value;
        else if (arg == "--wav") o.wav = value;
        else if (arg == "--data") o.data = value;
        else if (arg == "--scale" && !(scale_given = demo_parse_scale(value.c_str(), &o.scale)))
            bad("--scale wants a scale from 1 to 8 (such as 2 or 4.5), not '" + value + "'");
    }
    // The environment's scale only when --scale does not give one (--help answers
    // whatever it holds).
    const char* env = std::getenv("TAVIK_SCALE");
    if (!scale_given && env && *env && !demo_parse_scale(env, &o.scale))
        bad(std::string("TAVIK_SCALE wants a scale from 1 to 8 (such as 2 or 4.5), not '") + env + "'");
    if (frames_given && to_given) bad("--to and --frames both give the end; use one");
    const SpanWhen &f = o.from, &t = o.to;
    if (f.kind == SpanWhen::SECONDS && t.kind == SpanWhen::SECONDS && span_frame_at(t, o.fps) <= span_frame_at(f, o.fps))
        bad("--to must come after --from (no frame between them at " + std::to_string(o.fps) + " fps)");
    if (f.kind == SpanWhen::POSITION && t.kind == SpanWhen::POSITION &&
        (t.order < f.order || (t.order == f.order && t.row <= f.row)))
        bad("--to must come after --from");
#ifdef TAVIK_NO_PNG
    if (!o.out.empty() || !o.sheet.empty())
        bad(std::string(!o.out.empty() ? "--out" : "--contact-sheet") +
            " writes PNG files, which are not in this build: --hashes, --wav and --log are");
#endif
#ifdef _WIN32
    if (!o.mp4.empty()) bad("--mp4 runs ffmpeg, which is not in this build: --wav writes the span's sound");
#endif
    if (o.out.empty() && o.mp4.empty() && o.sheet.empty() && o.log.empty() && o.hashes.empty() && o.wav.empty() &&
        o.timings.empty()) {
#ifdef TAVIK_NO_PNG
        bad("nothing asked for: this build writes --hashes, --wav and --log (no PNG frames)");
#endif
        o.out = "capture";
    }
    return o;
}

#ifdef _WIN32
const char* const PATH_SEPARATORS = "/\\";
#else
const char* const PATH_SEPARATORS = "/";
#endif

// Absolute paths for everything written, taken before the move into the data
// directory. The directory of FILE must exist.
std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
#ifdef _WIN32
    // "\\server\share", "\\dir" and "C:\dir", "C:dir" (a drive's own folder).
    if (path[0] == '\\' || (path.size() >= 2 && path[1] == ':')) return path;
#endif
    char* cwd = getcwd(nullptr, 0);
    const std::string full = std::string(cwd ? cwd : ".") + "/" + path;
    std::free(cwd);
    return full;
}

// Progress on standard error: a bar redrawn in place on a terminal, a line per
// tenth otherwise (logs of scripts stay short).
struct Progress {
    bool on = true;
    bool tty = false;
    int last_tenth = -1;
    timespec last{};
    void show(double fraction, const Snapshot& s, uint64_t captured, double fps, bool final) {
        if (!on) return;
        fraction = !(fraction >= 0) ? 0 : fraction > 1 ? 1 : fraction;  // NaN too
        if (tty) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            if (!final && (now.tv_sec - last.tv_sec) * 1000000000L + (now.tv_nsec - last.tv_nsec) < 100000000L) return;
            last = now;
            char bar[31];
            const int filled = int(fraction * 30 + 0.5);
            for (int i = 0; i < 30; i++) bar[i] = i < filled ? '#' : '.';
            bar[30] = 0;
            std::fprintf(stderr, "\r[%s] %3d%%  frame %6" PRIu64 "  order %2u row %2u  %6" PRIu64 " captured  %4.0f fps ",
                         bar, int(fraction * 100), s.frame, s.order, s.row, captured, fps);
            if (final) std::fputc('\n', stderr);
        } else {
            const int tenth = final ? 10 : int(fraction * 10);
            if (tenth <= last_tenth) return;
            last_tenth = tenth;
            std::fprintf(stderr, "wendril-capture: %3d%%  frame %" PRIu64 ", order %u, row %u, %" PRIu64 " captured\n",
                         tenth * 10, s.frame, s.order, s.row, captured);
        }
    }
};

double seconds_since(const timespec& t0, clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return double(t.tv_sec - t0.tv_sec) + double(t.tv_nsec - t0.tv_nsec) * 1e-9;
}

// Sample of the demo's sound that frame `frame` starts at: round(frame * 44100 / fps).
uint64_t sample_of(uint64_t frame, uint32_t fps) { return (frame * uint64_t(AUDIO_RATE) * 2 + fps) / (2 * uint64_t(fps)); }

// Everything a run writes goes under a temporary name (NAME.part) and is renamed
// at the end, so a run that fails leaves nothing behind and a file of an earlier
// run under the same name stays as it was.
struct Outputs {
    std::vector<std::string> finals;  // a file's name once the run succeeds
    std::string made_dir;             // the --out directory, when this run made it
    size_t frames = 0;                // PNG frames among them

    // The temporary name to write `final` under.
    std::string add(const std::string& final, bool frame = false) {
        finals.push_back(final);
        frames += frame;
        return final + ".part";
    }
    // Renames every part file to its name. An earlier file of that name is kept
    // under NAME.part.old (a second link to it) until all are renamed; when one
    // cannot be, the names already renamed get their earlier files back, and
    // false (with a message) leaves the part files for discard().
    bool keep() {
        enum Earlier { NONE, LINKED, MOVED };
        std::vector<Earlier> earlier;  // one per name renamed
        const auto old_name = [](const std::string& f) { return f + ".part.old"; };
        int error = 0;
        for (const std::string& f : finals) {
            const std::string old = old_name(f);
            struct stat st;
            Earlier e = NONE;
            if (lstat(f.c_str(), &st) == 0) {
                // rename() would put a file in place of an empty folder: a folder is
                // never replaced.
                if (S_ISDIR(st.st_mode)) {
                    error = EISDIR;
                    break;
                }
                std::remove(old.c_str());  // left by a run that was killed here
                // A file system without hard links: the earlier file is moved aside.
                e = link(f.c_str(), old.c_str()) == 0 ? LINKED : std::rename(f.c_str(), old.c_str()) == 0 ? MOVED : NONE;
                if (e == NONE) {
                    error = errno;
                    break;
                }
            } else if (errno != ENOENT) {
                error = errno;
                break;
            }
            if (std::rename((f + ".part").c_str(), f.c_str()) != 0) {
                error = errno;
                // Not renamed: a link to the earlier file goes, a moved one comes back.
                if (e == LINKED) std::remove(old.c_str());
                if (e == MOVED) std::rename(old.c_str(), f.c_str());
                break;
            }
            earlier.push_back(e);
        }
        if (!error) {
            for (size_t i = 0; i < finals.size(); i++)
                if (earlier[i] != NONE) std::remove(old_name(finals[i]).c_str());
            finals.clear();
            return true;
        }
        std::fprintf(stderr, "wendril-capture: cannot replace %s: %s\n", finals[earlier.size()].c_str(),
                     std::strerror(error));
        // This run's files back to their part names, the earlier files to theirs.
        size_t restored = 0;
        for (size_t i = earlier.size(); i-- > 0;) {
            const std::string& f = finals[i];
            if (std::rename(f.c_str(), (f + ".part").c_str()) != 0) std::remove(f.c_str());
            if (earlier[i] == NONE) continue;
            if (std::rename(old_name(f).c_str(), f.c_str()) == 0) restored++;
            else
                std::fprintf(stderr, "wendril-capture: the earlier %s could not be put back: it is %s\n", f.c_str(),
                             old_name(f).c_str());
        }
        if (restored > 0)
            std::fprintf(stderr, "wendril-capture: put back the %zu earlier file%s this run had replaced\n", restored,
                         restored == 1 ? "" : "s");
        return false;
    }
    // Removes what the run wrote and says so.
    void discard() {
        size_t removed = 0;
        for (const std::string& f : finals) removed += std::remove((f + ".part").c_str()) == 0;
        if (!made_dir.empty()) rmdir(made_dir.c_str());
        if (removed > 0)
            std::fprintf(stderr, "wendril-capture: removed what this run had written (%zu file%s, %zu of them PNG frames)\n",
                         removed, removed == 1 ? "" : "s", frames);
        finals.clear();
        frames = 0;
    }
};

// SIGINT, SIGTERM or (not on Windows) SIGHUP: what capture_catch_signals catches.
const char* signal_name(int sig) { return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "SIGHUP"; }

// A position past the song's last order is never played. Other positions the
// music skips are found by the run (the end loop comes round twice).
int check_positions(const Options& o) {
    AudioSong* song = audio_song_load_file(DEMO_MODULE_FILE);
    if (!song) return 0;
    const uint32_t orders = uint32_t(audio_song_num_orders(song));
    audio_song_free(song);
    for (const SpanWhen* w : {&o.from, &o.to}) {
        if (w->kind == SpanWhen::POSITION && w->order >= orders) {
            std::fprintf(stderr, "wendril-capture: the music never reaches %s %u:%u: %s has orders 0 .. %u\n",
                         w == &o.from ? "--from" : "--to", w->order, w->row, DEMO_MODULE_FILE, orders - 1);
            return 2;
        }
    }
    return 0;
}

// Everything that can be checked is checked before anything is written: ffmpeg
// for --mp4, the data folder and its music, the positions asked for, the folders
// of the files written at the end (not found out after a long run). Enters the
// data folder. 0 when the run can go on, else its exit status.
int check_before_writing(Options* o) {
#ifdef TAVIK_NO_PNG
    // The wasm build (under node) has no PNG library and starts no processes.
    if (!o->out.empty() || !o->sheet.empty() || !o->mp4.empty()) {
        std::fprintf(stderr, "wendril-capture: --out, --contact-sheet and --mp4 are not in this build (wasm, no PNG "
                             "library, no ffmpeg); --hashes and --log are\n");
        return 1;
    }
#endif
    if (!o->mp4.empty() && !ffmpeg_available()) {
        std::fprintf(stderr,
                     "wendril-capture: --mp4 needs ffmpeg, which is not installed (apt-get install ffmpeg);\n"
                     "  --out DIR writes the frames as PNG and the sound as WAV without it\n");
        return 1;
    }
    o->out = absolute(o->out), o->mp4 = absolute(o->mp4), o->sheet = absolute(o->sheet), o->log = absolute(o->log);
    o->hashes = absolute(o->hashes), o->wav = absolute(o->wav), o->timings = absolute(o->timings);
    if (chdir(o->data.c_str()) != 0) {
        std::fprintf(stderr, "wendril-capture: cannot enter %s: %s\n", o->data.c_str(), std::strerror(errno));
        return 1;
    }
    if (access(DEMO_MODULE_FILE, R_OK) != 0) {
        std::fprintf(stderr, "wendril-capture: no %s in %s: run it from the data folder (build/data) or give --data DIR\n",
                     DEMO_MODULE_FILE, o->data.c_str());
        return 1;
    }
    if (const int status = check_positions(*o)) return status;
    for (const std::string* file : {&o->mp4, &o->sheet, &o->log, &o->hashes, &o->wav, &o->timings}) {
        if (file->empty()) continue;
        const std::string dir = file->substr(0, file->find_last_of(PATH_SEPARATORS) + 1);
        if (access(dir.c_str(), W_OK) != 0) {
            std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", file->c_str(), std::strerror(errno));
            return 1;
        }
    }
    return 0;
}

// One run: what it was asked for, what it writes and the span found so far.
struct Run {
    Options o;
    SpanRules rules;
    SpanState span;
    Outputs outputs;
    FILE* log = nullptr;
    FILE* hashes = nullptr;
    FILE* timings = nullptr;
    // The sound is needed for the WAV and the MP4: it is rendered into a part file
    // that starts at or just before the first frame and cut to the span at the end.
    bool want_sound = false;
    std::string wav_part, wav, video_tmp;
    uint64_t part_first = 0;  // the sample of the demo's sound the part file starts at
    VideoEncoder video;
    SpanSheet sheet;
    std::vector<SheetThumb> thumbs;  // one per pick of the sheet
    uint64_t written = 0;            // PNG frames
    uint64_t last_n = 0;             // the last frame looked at
    bool failed = false;
    Progress progress;
    timespec wall0{}, cpu0{};
    int32_t screen_width = 0, screen_height = 0;
};

// The --out folder and the log, and the names of the sound's and the video's
// temporary files. 0, or the exit status after a failure.
int open_outputs(Run* r) {
    const Options& o = r->o;
    if (!o.out.empty()) {
        if (mkdir(o.out.c_str(), 0755) == 0) r->outputs.made_dir = o.out;
        struct stat st;
        if (stat(o.out.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(o.out.c_str(), W_OK) != 0) {
            std::fprintf(stderr, "wendril-capture: cannot make the directory %s: %s\n", o.out.c_str(),
                         std::strerror(errno ? errno : ENOTDIR));
            r->outputs.discard();
            return 1;
        }
    }
    if (!o.log.empty() && !(r->log = std::fopen(r->outputs.add(o.log).c_str(), "w"))) {
        std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", o.log.c_str(), std::strerror(errno));
        r->outputs.discard();
        return 1;
    }
    // Binary: lines end in LF on Windows too, as in tests/app/demo_frames.txt.
    if (!o.hashes.empty() && !(r->hashes = std::fopen(r->outputs.add(o.hashes).c_str(), "wb"))) {
        std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", o.hashes.c_str(), std::strerror(errno));
        if (r->log) std::fclose(r->log), r->log = nullptr;
        r->outputs.discard();
        return 1;
    }
    if (!o.timings.empty() && !(r->timings = std::fopen(r->outputs.add(o.timings).c_str(), "wb"))) {
        std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", o.timings.c_str(), std::strerror(errno));
        if (r->log) std::fclose(r->log), r->log = nullptr;
        if (r->hashes) std::fclose(r->hashes), r->hashes = nullptr;
        r->outputs.discard();
        return 1;
    }
    r->want_sound = !o.out.empty() || !o.mp4.empty() || !o.wav.empty();
    const std::string base = !o.wav.empty() ? o.wav : !o.out.empty() ? o.out + "/wendril" : o.mp4;
    r->wav_part = base + ".sound.part";
    r->wav = !o.wav.empty() ? o.wav : !o.out.empty() ? o.out + "/wendril.wav" : o.mp4 + ".wav.tmp";
    r->video_tmp = o.mp4 + ".video.tmp";
    return 0;
}

// The demo's start-up on the headless host at the run's frame rate and scale.
int start_demo(Run* r) {
    host_clock_set_frame_rate(r->o.fps);
    demo.scale = r->o.scale;
    demo_screen_size(r->o.scale, &r->screen_width, &r->screen_height);
    host_offer_display_mode(r->screen_width, r->screen_height);
    if (demo_start() != 0) {
        std::fprintf(stderr, "wendril-capture: the demo did not start with the files in %s\n", r->o.data.c_str());
        if (r->log) std::fclose(r->log), r->log = nullptr;
        if (r->hashes) std::fclose(r->hashes), r->hashes = nullptr;
        if (r->timings) std::fclose(r->timings), r->timings = nullptr;
        r->outputs.discard();
        return 1;
    }
    r->progress.on = !r->o.quiet;
    r->progress.tty = isatty(2);
    clock_gettime(CLOCK_MONOTONIC, &r->wall0);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &r->cpu0);
    return 0;
}

// A run that stops part-way keeps nothing of what it wrote; returns `status`.
int give_up(Run* r, int status) {
    if (r->span.first != SPAN_NONE && r->want_sound) {
        audio_wav_end();
        std::remove(r->wav_part.c_str());
    }
    if (r->span.first != SPAN_NONE && !r->o.mp4.empty()) {
        video_end(&r->video);
        std::remove(r->video_tmp.c_str());
    }
    if (r->log) std::fclose(r->log), r->log = nullptr;
    if (r->hashes) std::fclose(r->hashes), r->hashes = nullptr;
    if (r->timings) std::fclose(r->timings), r->timings = nullptr;
    r->outputs.discard();
    return status;
}

// Status 128 + the signal, as a shell reports a program the signal ended.
int stopped(const Run& r) {
    const int sig = capture_stop_signal();
    if (r.progress.on && r.progress.tty) std::fputc('\n', stderr);
    std::fprintf(stderr, "wendril-capture: stopped by %s\n", signal_name(sig));
    return 128 + sig;
}

// At the span's first frame, before it is drawn: the sound's part file, ffmpeg
// and the hashes' comment line.
bool begin_span(Run* r) {
    if (r->hashes) {
        const bool whole = r->o.from.kind == SpanWhen::NONE && r->o.to.kind == SpanWhen::NONE;
        std::fprintf(r->hashes, "# frame order row hash: %s at %u fps on the headless host, %d x %d\n",
                     whole ? "the whole demo" : "a span of the demo", r->o.fps, int(r->screen_width),
                     int(r->screen_height));
    }
    if (r->want_sound) {
        if (!audio_wav_begin(r->wav_part.c_str())) {
            std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", r->wav_part.c_str(), std::strerror(errno));
            return false;
        }
        r->part_first = audio_rendered_frames();
    }
    if (!r->o.mp4.empty() && !video_begin(&r->video, r->video_tmp, demo.vscreen->width, demo.vscreen->height, r->o.fps,
                                          demo.vscreen->width == 320 ? 2 : 1)) {
        std::fprintf(stderr, "wendril-capture: cannot start ffmpeg\n");
        return false;
    }
    return true;
}

// A drawn frame of the span into every output asked for; a failure sets r->failed.
// `hash` is the frame's hash taken after it was drawn, before its frame end.
void keep_frame(Run* r, const Snapshot& s, uint64_t hash) {
    const Options& o = r->o;
    const uint64_t n = s.frame;
    if (r->hashes) std::fprintf(r->hashes, FRAME_HASH_LINE, n, s.order, s.row, hash);
    if (r->log)
        std::fprintf(r->log, "%" PRIu64 " %.3f %.1f %u %u\n", n, double(s.time_us) / 1000.0, double(s.ticks), s.order, s.row);
    if (o.out.empty() && o.mp4.empty() && o.sheet.empty()) return;
    const RgbImage rgb = capture_rgb_from_rgba(demo.vscreen->pixels, demo.vscreen->rows, demo.vscreen->width,
                                               demo.vscreen->height);
    if (!o.out.empty() && (n - r->span.first) % o.every == 0) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06" PRIu64 ".png", n);
        if (!capture_write_png(r->outputs.add(o.out + name, true), rgb)) {
            std::fprintf(stderr, "wendril-capture: cannot write %s%s: %s\n", o.out.c_str(), name, std::strerror(errno));
            r->failed = true;
        }
        r->written++;
    }
    if (!o.mp4.empty() && !video_frame(&r->video, rgb)) {
        if (!capture_stop_signal()) std::fprintf(stderr, "wendril-capture: ffmpeg stopped taking frames\n");
        r->failed = true;
    }
    if (!o.sheet.empty()) {
        const SpanSheetChoice choice = span_sheet_offer(&r->sheet, n, s.order, s.row);
        if (choice == SPAN_SHEET_REPLACE) r->thumbs.pop_back();
        if (choice != SPAN_SHEET_SKIP)
            r->thumbs.push_back({s.order, s.row, n, s.time_us, demo_section(s.order)->name, sheet_thumbnail(rgb)});
    }
}

constexpr int GO_ON = -1;  // play() ended the loop without giving up

// The passes of demo_run, with a look at the music position before each draw.
// GO_ON once the loop is over (the span's end, a failure or a signal), else the
// status of a run given up.
int play(Run* r) {
    const Options& o = r->o;
    for (uint64_t n = 0; !demo.quit && !r->failed && !capture_stop_signal(); n++) {
        r->last_n = n;
        const Snapshot s = {n, host_clock_us(), demo.position->ticks.load(), demo.position->order.load(),
                            demo.position->row.load()};
        const SpanStep step = span_step(r->rules, &r->span, n, s.order, s.row);
        if (r->span.first == n && !begin_span(r)) return give_up(r, 1);
        if (step == SPAN_EMPTY) {
            std::fprintf(stderr, "wendril-capture: nothing to capture: --to is reached at the first frame of --from\n");
            return give_up(r, 2);
        }
        if (step == SPAN_NEVER_FROM || step == SPAN_NEVER_TO) {
            const SpanWhen& w = step == SPAN_NEVER_FROM ? o.from : o.to;
            std::fprintf(stderr, "wendril-capture: the music never reaches %s %u:%u (the end loop came round twice)\n",
                         step == SPAN_NEVER_FROM ? "--from" : "--to", w.order, w.row);
            return give_up(r, 2);
        }
        // The frame's time: its drawing and its frame end, not the hash between them.
        timespec t0;
        if (r->timings) clock_gettime(CLOCK_MONOTONIC, &t0);
        demo_draw();
        const double draw = r->timings ? seconds_since(t0, CLOCK_MONOTONIC) : 0;
        // Hashed as the whole-demo check does, before the frame end shows it.
        const uint64_t hash = r->hashes && step == SPAN_IN ? frame_hash_pixels(demo.vscreen) : 0;
        if (r->timings) clock_gettime(CLOCK_MONOTONIC, &t0);
        demo_frame_end();
        if (r->timings && step == SPAN_IN)
            std::fprintf(r->timings, "%" PRIu64 " %.3f\n", n, (draw + seconds_since(t0, CLOCK_MONOTONIC)) * 1e3);
        // The frame past the span is drawn too: its frame end moves the clock, and so
        // the sound, beyond the span's last sample.
        if (step == SPAN_END) break;
        if (step == SPAN_BEFORE) {
            if (r->progress.on && n % 30 == 0)
                r->progress.show(span_progress(r->rules, r->span, n, s.order, s.row), s, 0,
                                 double(n + 1) / std::max(seconds_since(r->wall0, CLOCK_MONOTONIC), 1e-3), false);
            continue;
        }
        keep_frame(r, s, hash);
        const double wall = seconds_since(r->wall0, CLOCK_MONOTONIC);
        r->progress.show(span_progress(r->rules, r->span, n, s.order, s.row), s, n - r->span.first + 1,
                         double(n + 1) / (wall > 0 ? wall : 1), false);
    }
    return GO_ON;
}

// The files made from the whole span once the loop is over: the WAV cut to the
// samples [s0, s1), the MP4 muxed with it, the contact sheet. A failure sets
// r->failed (with a message).
void write_after_loop(Run* r, uint64_t s0, uint64_t s1) {
    const Options& o = r->o;
    const bool wav_kept = !o.out.empty() || !o.wav.empty();
    const std::string wav_file = wav_kept ? r->outputs.add(r->wav) : r->wav;
    if (r->want_sound && !r->failed && !capture_stop_signal())
        r->failed = !capture_cut_wav(r->wav_part, r->part_first, s0, s1, wav_file);
    if (r->want_sound) std::remove(r->wav_part.c_str());
    if (!o.mp4.empty()) {
        const bool ok = video_end(&r->video) && !r->failed && !capture_stop_signal() &&
                        video_mux(r->video_tmp, wav_file, r->outputs.add(o.mp4));
        if (!ok && !capture_stop_signal())
            std::fprintf(stderr, "wendril-capture: ffmpeg could not make %s\n", o.mp4.c_str());
        r->failed = r->failed || !ok;
        std::remove(r->video_tmp.c_str());
        if (!wav_kept) std::remove(wav_file.c_str());
    }
    if (!o.sheet.empty() && !r->failed && !capture_stop_signal() &&
        !capture_write_png(r->outputs.add(o.sheet), sheet_compose(r->thumbs))) {
        std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", o.sheet.c_str(), std::strerror(errno));
        r->failed = true;
    }
}

// What a finished run made and how fast.
void report(const Run& r, double wall, double cpu, uint64_t s0, uint64_t s1) {
    const Options& o = r.o;
    const uint64_t first = r.span.first, end = r.span.end, frames = end - first;
    std::fprintf(stderr, "wendril-capture: frames %" PRIu64 " .. %" PRIu64 " (%" PRIu64 " frames, %.3f s at %u fps, %d x %d), sound samples %" PRIu64 " .. %" PRIu64 "\n",
                 first, end - 1, frames, double(frames) / o.fps, o.fps, int(r.screen_width), int(r.screen_height), s0, s1);
    if (!o.out.empty())
        std::fprintf(stderr, "wendril-capture: %" PRIu64 " PNG frames%s in %s\n", r.written,
                     o.wav.empty() ? " and wendril.wav" : "", o.out.c_str());
    if (!o.wav.empty()) std::fprintf(stderr, "wendril-capture: sound %s\n", o.wav.c_str());
    if (!o.mp4.empty()) std::fprintf(stderr, "wendril-capture: video %s\n", o.mp4.c_str());
    if (!o.sheet.empty())
        std::fprintf(stderr, "wendril-capture: contact sheet %s (%zu order%s)\n", o.sheet.c_str(), r.thumbs.size(),
                     r.thumbs.size() == 1 ? "" : "s");
    if (!o.log.empty()) std::fprintf(stderr, "wendril-capture: frame log %s\n", o.log.c_str());
    if (!o.hashes.empty()) std::fprintf(stderr, "wendril-capture: frame hashes %s\n", o.hashes.c_str());
    std::fprintf(stderr, "wendril-capture: %.1f frames a second (%.1f per CPU second of this process)\n",
                 double(end + 1) / (wall > 0 ? wall : 1), double(end + 1) / (cpu > 0 ? cpu : 1));
}

// After the loop: the sound and the log closed, the files made, all renamed
// into place or all removed. The exit status.
int finish(Run* r) {
    if (capture_stop_signal()) return give_up(r, stopped(*r));
    if (r->span.end == SPAN_NONE) r->span.end = r->last_n;  // stopped by a failure: what was captured
    const uint64_t first = r->span.first, end = r->span.end;
    const double wall = seconds_since(r->wall0, CLOCK_MONOTONIC), cpu = seconds_since(r->cpu0, CLOCK_PROCESS_CPUTIME_ID);
    const Snapshot last_seen = {end, host_clock_us(), demo.position->ticks.load(), demo.position->order.load(),
                                demo.position->row.load()};
    if (!r->failed) r->progress.show(1.0, last_seen, end - first, double(end + 1) / (wall > 0 ? wall : 1), true);
    if (r->want_sound && !audio_wav_end()) {
        std::fprintf(stderr, "wendril-capture: cannot write %s\n", r->wav_part.c_str());
        r->failed = true;
    }
    demo_shutdown();
    for (auto [file, name] : {std::pair{&r->log, &r->o.log}, std::pair{&r->hashes, &r->o.hashes},
                                std::pair{&r->timings, &r->o.timings}}) {
        if (!*file) continue;
        const bool closed = std::fclose(*file) == 0;
        *file = nullptr;
        if (!closed) {
            std::fprintf(stderr, "wendril-capture: cannot write %s: %s\n", name->c_str(), std::strerror(errno));
            r->failed = true;
        }
    }
    const uint64_t s0 = sample_of(first, r->o.fps), s1 = sample_of(end, r->o.fps);
    write_after_loop(r, s0, s1);
    // A signal that came before the files are renamed keeps nothing; one that
    // comes later finds the run complete.
    if (r->failed || capture_stop_signal()) {
        const int status = capture_stop_signal() ? stopped(*r) : 1;
        r->outputs.discard();
        return status;
    }
    if (!r->outputs.keep()) {
        r->outputs.discard();
        return 1;
    }
    report(*r, wall, cpu, s0, s1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Run run;
    run.o = parse(argc, argv);
    if (const int status = check_before_writing(&run.o)) return status;
    // From here on a signal ends the run at the next frame, with what it wrote removed.
    capture_catch_signals();
    if (const int status = open_outputs(&run)) return status;
    if (const int status = start_demo(&run)) return status;
    run.rules = {run.o.from, run.o.to, run.o.fps, DEMO_END_LOOP_ORDER};
    if (const int status = play(&run); status != GO_ON) return status;
    return finish(&run);
}
