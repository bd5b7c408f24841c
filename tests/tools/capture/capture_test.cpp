// wendril-capture end to end on the default data: two runs give the same frames,
// sound and log; a span has the frames and samples its bounds say, its sound is
// the whole demo's sound cut at round(F * 44100 / fps); the log shows what each
// frame saw; the contact sheet's size follows the orders; bad arguments exit 2;
// the frame hashes are the whole-demo check's lines; a failed or interrupted run
// leaves the files of an earlier one as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/audio.h"

namespace {

const std::string BIN = TAVIK_BINARY_DIR;
const std::string DATA = BIN + "/data";

std::vector<unsigned char> slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string text_of(const std::string& path) {
    const auto b = slurp(path);
    return std::string(b.begin(), b.end());
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

uint32_t be32(const std::vector<unsigned char>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
}

// A fresh scratch directory per test.
std::string scratch(const std::string& name) {
    const std::string dir = "/tmp/wendril_capture_test_" + std::to_string(getpid()) + "_" + name;
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    return dir;
}

struct ToolRun {
    int status;
    std::string out, err;
};

// Runs the tool with `args` (shell words) from the scratch directory.
ToolRun capture(const std::string& dir, const std::string& args, const std::string& env = "") {
    const std::string cmd = "cd '" + dir + "' && " + env + " '" + BIN + "/wendril-capture' --data '" + DATA + "' " +
                            args + " >'" + dir + "/stdout' 2>'" + dir + "/stderr'";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text_of(dir + "/stdout"), text_of(dir + "/stderr")};
}

std::string frame_name(uint64_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(n));
    return name;
}

// The WAV's header checked, its samples returned (16-bit stereo interleaved).
std::vector<int16_t> wav_samples(const std::string& path) {
    const auto w = slurp(path);
    EXPECT_GE(w.size(), 44u) << path;
    if (w.size() < 44) return {};
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    EXPECT_EQ(le32(w, 24), 44100u);
    EXPECT_EQ(w[22], 2);
    EXPECT_EQ(w[34], 16);
    EXPECT_EQ(le32(w, 40), w.size() - 44) << "data size in the header";
    std::vector<int16_t> s((w.size() - 44) / 2);
    for (size_t i = 0; i < s.size(); i++) s[i] = int16_t(w[44 + 2 * i] | w[45 + 2 * i] << 8);
    return s;
}

uint64_t sample_of(uint64_t frame, uint32_t fps) { return uint64_t(std::llround(double(frame) * 44100.0 / fps)); }

// The names in `dir`, sorted.
std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every folder and file under `dir` with the checksum of each file, but the
// tool's stdout and stderr, as one sorted text.
std::string snapshot(const std::string& dir) {
    std::system(("cd '" + dir + "' && { find . -type d; find . -type f ! -name stdout ! -name stderr -exec cksum {} +; } | sort >'" +
                 dir + ".snapshot'").c_str());
    return text_of(dir + ".snapshot");
}

// Starts the tool as `capture` does, with SIGINT, SIGTERM and SIGHUP at their
// defaults whatever this test inherited.
pid_t start_capture(const std::string& dir, const std::string& args, const std::string& env) {
    const std::string cmd = "cd '" + dir + "' && exec env " + env + " '" + BIN + "/wendril-capture' --data '" + DATA +
                            "' " + args + " >stdout 2>stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Polls until `ready` holds; false after a minute.
template <typename F>
bool wait_until(F ready) {
    for (int i = 0; i < 3000; i++, usleep(20000))
        if (ready()) return true;
    return false;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!exists(DATA + "/ragga.xm")) GTEST_FAIL() << "no default data set in " << DATA << " (the build writes it)";
    }
};

}  // namespace

TEST_F(Capture, TwoRunsGiveTheSameFramesSoundAndLog) {
    const std::string a = scratch("det_a"), b = scratch("det_b");
    // The second run's sound goes to --wav instead of out/wendril.wav.
    for (const std::string& d : {a, b})
        ASSERT_EQ(capture(d, "--from 40 --frames 90 --every 30 --out out --log log.txt --quiet" +
                                 std::string(d == b ? " --wav sound.wav" : "")).status, 0);
    // 40 s at 60 fps is frame 2400: the hairy section.
    for (uint64_t n : {2400, 2430, 2460}) {
        const auto fa = slurp(a + "/out/" + frame_name(n)), fb = slurp(b + "/out/" + frame_name(n));
        ASSERT_GT(fa.size(), 33u) << n;
        EXPECT_TRUE(fa == fb) << "frame " << n;
        EXPECT_EQ(be32(fa, 16), 320u);
        EXPECT_EQ(be32(fa, 20), 240u);
    }
    EXPECT_FALSE(exists(a + "/out/" + frame_name(2399)));
    EXPECT_FALSE(exists(a + "/out/" + frame_name(2490)));
    EXPECT_TRUE(slurp(a + "/out/wendril.wav") == slurp(b + "/sound.wav"));
    EXPECT_FALSE(exists(b + "/out/wendril.wav"));
    EXPECT_EQ(text_of(a + "/log.txt"), text_of(b + "/log.txt"));
    // The music is heard: a clearly non-zero level over the span.
    const auto s = wav_samples(a + "/out/wendril.wav");
    ASSERT_EQ(s.size(), 2 * (sample_of(2490, 60) - sample_of(2400, 60)));
    double sum = 0;
    for (int16_t v : s) sum += double(v) * v;
    EXPECT_GT(std::sqrt(sum / double(s.size())), 300.0);
}

// 48 fps: 918.75 samples a frame, so the span's ends need the rounding.
TEST_F(Capture, SpanHasItsFramesAndSamplesAndTheWholeSoundCutAtItsStart) {
    const std::string d = scratch("span");
    ASSERT_EQ(capture(d, "--fps 48 --to 2.9 --out whole --quiet").status, 0);
    const ToolRun r = capture(d, "--fps 48 --from 1.3 --to 2.9 --out span --log log.txt --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    // 1.3 s -> frame ceil(62.4) = 63; 2.9 s -> ceil(139.2) = 140, not included.
    for (uint64_t n = 63; n < 140; n++) ASSERT_TRUE(exists(d + "/span/" + frame_name(n))) << n;
    EXPECT_FALSE(exists(d + "/span/" + frame_name(62)));
    EXPECT_FALSE(exists(d + "/span/" + frame_name(140)));
    EXPECT_TRUE(slurp(d + "/span/" + frame_name(100)) == slurp(d + "/whole/" + frame_name(100)));

    const auto whole = wav_samples(d + "/whole/wendril.wav"), span = wav_samples(d + "/span/wendril.wav");
    ASSERT_EQ(whole.size(), 2 * sample_of(140, 48));
    ASSERT_EQ(span.size(), 2 * (sample_of(140, 48) - sample_of(63, 48)));
    // The whole capture is the song from its first sample, as the sound output
    // renders it here in this process, converted to 16 bits the same way.
    ASSERT_EQ(audio_open(), 1);
    AudioSong* song = audio_song_load_file((DATA + "/ragga.xm").c_str());
    ASSERT_NE(song, nullptr) << audio_error_string();
    ASSERT_EQ(audio_song_play(song), 1);
    std::vector<float> mix(whole.size());
    audio_render(mix.data(), int(mix.size() / 2));
    audio_song_free(song);
    audio_close();
    // The demo renders in pieces cut at frame and tick times, this in one go:
    // libopenmpt's float rounding may then differ by one step in a rare sample.
    // One sample off in time would differ almost everywhere.
    size_t off_by_one = 0, worse = 0;
    for (size_t i = 0; i < mix.size(); i++) {
        const int d = std::abs(whole[i] - int16_t(std::clamp(mix[i], -1.0f, 1.0f) * 32767.0f));
        off_by_one += d == 1;
        worse += d > 1;
    }
    EXPECT_EQ(worse, 0u) << "of " << mix.size();
    EXPECT_LT(off_by_one, mix.size() / 1000);
    const size_t at = 2 * sample_of(63, 48);
    EXPECT_TRUE(std::equal(span.begin(), span.end(), whole.begin() + long(at))) << "cut at sample " << at / 2;
    EXPECT_FALSE(std::equal(span.begin(), span.end(), whole.begin() + long(at) - 2)) << "one sample early also fits";

    // One log line per frame, each with what the frame saw before it was drawn:
    // frame n at floor(n * 1e6 / 48) us, one tick every 14 ms from time 0.
    std::istringstream log(text_of(d + "/log.txt"));
    uint64_t n, expect = 63;
    double ms, ticks;
    unsigned order, row;
    while (log >> n >> ms >> ticks >> order >> row) {
        ASSERT_EQ(n, expect++);
        const uint64_t us = n * 1000000 / 48;
        EXPECT_NEAR(ms, double(us) / 1000.0, 0.0006) << n;
        EXPECT_EQ(ticks, double(us / 14000)) << n;
        EXPECT_EQ(order, 0u);
        // The row is copied at each tick: the row heard then, 120 ms a row
        // (5292 samples), the tick seeing the sample just before it.
        const uint64_t tick_us = us / 14000 * 14000;
        EXPECT_EQ(row, tick_us == 0 ? 0u : unsigned((tick_us * 44100 / 1000000 - 1) / 5292)) << n;
    }
    EXPECT_EQ(expect, 140u);
}

TEST_F(Capture, MusicPositionsBoundTheSpanAndTheSheetHasOneThumbnailPerOrder) {
    const std::string d = scratch("orders");
    ToolRun r = capture(d, "--fps 4 --from 1:0 --to 2:8 --log log.txt --contact-sheet two.png --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream log(text_of(d + "/log.txt"));
    std::vector<std::pair<unsigned, unsigned>> seen;
    uint64_t n;
    double ms, ticks;
    unsigned order, row;
    while (log >> n >> ms >> ticks >> order >> row) seen.push_back({order, row});
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().first, 1u);
    EXPECT_LE(seen.front().second, 2u) << "frames a quarter second (two rows) apart";
    EXPECT_EQ(seen.back().first, 2u);
    EXPECT_LT(seen.back().second, 8u);
    EXPECT_GE(seen.back().second, 6u);

    // min(orders, 4) columns of 160 x 140 cells with 4-pixel gaps.
    const auto two = slurp(d + "/two.png");
    ASSERT_GT(two.size(), 24u);
    EXPECT_EQ(be32(two, 16), 2 * 160u + 3 * 4);
    EXPECT_EQ(be32(two, 20), 140u + 2 * 4);
    r = capture(d, "--fps 4 --to 5:0 --contact-sheet five.png --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto five = slurp(d + "/five.png");
    ASSERT_GT(five.size(), 24u);
    EXPECT_EQ(be32(five, 16), 4 * 160u + 5 * 4);
    EXPECT_EQ(be32(five, 20), 2 * 140u + 3 * 4);
    EXPECT_FALSE(exists(d + "/capture")) << "no PNG frames unless asked for";
}

// --hashes: the comment line, then for each frame of the span the very line the
// whole-demo check recorded for it (tests/app/demo_frames.txt), nothing else.
// --timings beside it: one line per frame of the span, its number and a time.
TEST_F(Capture, HashesAreTheRecordedLinesOfTheirFrames) {
    const std::string d = scratch("hashes");
    const ToolRun r = capture(d, "--from 9:0 --frames 30 --hashes h.txt --timings t.txt --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(d), (std::vector<std::string>{"h.txt", "stderr", "stdout", "t.txt"}));
    std::vector<std::string> recorded;
    std::istringstream whole(text_of(std::string(TAVIK_SOURCE_DIR) + "/tests/app/demo_frames.txt"));
    for (std::string line; std::getline(whole, line);)
        if (line.rfind('#', 0) != 0) recorded.push_back(line);
    std::istringstream got(text_of(d + "/h.txt"));
    std::string line;
    ASSERT_TRUE(std::getline(got, line));
    EXPECT_EQ(line, "# frame order row hash: a span of the demo at 60 fps on the headless host, 320 x 240");
    size_t count = 0;
    unsigned long long first = 0;
    while (std::getline(got, line)) {
        unsigned long long n = 0;
        unsigned order = 0, row = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%llu %u %u", &n, &order, &row), 3) << line;
        if (count == 0) {
            first = n;
            EXPECT_EQ(order, 9u);
            EXPECT_LE(row, 1u) << "the first frame at or past 9:0";
        }
        ASSERT_EQ(n, first + count++) << "one line per frame, in order";
        ASSERT_LT(n, recorded.size());
        EXPECT_EQ(line, recorded[n]);
    }
    EXPECT_EQ(count, 30u);
    std::istringstream timings(text_of(d + "/t.txt"));
    for (size_t i = 0; i < 30; i++) {
        unsigned long long n = 0;
        double ms = -1;
        ASSERT_TRUE(timings >> n >> ms) << "line " << i;
        EXPECT_EQ(n, first + i);
        EXPECT_GE(ms, 0.0);
    }
    EXPECT_FALSE(timings >> first) << "nothing past the span";
}

TEST_F(Capture, HelpAndBadArguments) {
    const std::string d = scratch("args");
    ToolRun r = capture(d, "--help");
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"usage: wendril-capture", "--fps", "--from", "--to", "--out", "--mp4", "--contact-sheet",
                               "--log",
                               "--hashes", "order:row"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;

    const struct {
        const char* args;
        const char* names;
    } bad[] = {
        {"--fps 0", "--fps"},
        {"--fps 1001", "--fps"},
        {"--fps 12x", "--fps"},
        {"--from -3", "--from"},
        {"--from 1:", "--from"},
        {"--to 9:300", "--to"},
        {"--from 5 --to 4.99", "--to"},
        {"--from 3:10 --to 3:10", "--to"},
        {"--frames 0", "--frames"},
        {"--to 3 --frames 10", "--frames"},
        {"--every", "--every"},
        {"--hashes", "--hashes"},
        {"--sheet x.png", "--sheet"},
        {"frames", "frames"},
        {"--fps 10 --from 40:0 --to 41:0 --log l.txt", "40:0"},  // the music never gets there
    };
    for (const auto& b : bad) {
        r = capture(d, b.args);
        EXPECT_EQ(r.status, 2) << b.args;
        EXPECT_EQ(r.err.rfind("wendril-capture: ", 0), 0u) << b.args << ": " << r.err;
        EXPECT_NE(r.err.find(b.names), std::string::npos) << b.args << ": " << r.err;
    }
    EXPECT_FALSE(exists(d + "/capture")) << "nothing written after a bad argument";

    // Known wrong only once the run is there: 5 s is row 41 of order 0.
    r = capture(d, "--fps 10 --from 5 --to 0:3 --out late");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("nothing to capture"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(d + "/late")) << "the folder the refused run made is removed with what it held";

    // A folder without the demo's files: said before anything runs.
    r = capture(d, "--data '" + d + "' --log l.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no ragga.xm in"), std::string::npos) << r.err;

    r = capture(d, "--mp4 demo.mp4 --frames 2", "PATH=/nonexistent");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ffmpeg"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(d + "/demo.mp4"));
}

// ffmpeg is part of the test setup (scripts/setup video): the video has the span's frames at the frame rate, twice
// the size, as many as the capture log lists and as long as they last; its sound
// is as long as the pictures to within one frame (AAC's padding is cut off).
TEST_F(Capture, Mp4HasTheSpansFramesAndSound) {
    ASSERT_EQ(std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1"), 0)
        << "ffmpeg is not installed (scripts/setup video installs it)";
    const struct {
        const char* span;
        uint32_t fps;
        unsigned frames;
    } spans[] = {
        {"--fps 30 --from 2 --frames 45", 30, 45},
        {"--from 1:0 --to 1:24", 60, 0},  // as scripts/run makes it; the count comes from the log
    };
    for (const auto& sp : spans) {
        const std::string d = scratch("mp4");
        const ToolRun r = capture(d, std::string(sp.span) + " --mp4 'a demo.mp4' --log log.txt --quiet");
        ASSERT_EQ(r.status, 0) << sp.span << ": " << r.err;
        EXPECT_EQ(listing(d), (std::vector<std::string>{"a demo.mp4", "log.txt", "stderr", "stdout"})) << sp.span;

        // The log: one line per frame, at floor(n * 1e6 / fps) us.
        std::istringstream log(text_of(d + "/log.txt"));
        std::vector<uint64_t> logged;
        for (std::string line; std::getline(log, line);) logged.push_back(std::stoull(line));
        ASSERT_GE(logged.size(), 2u) << sp.span;
        if (sp.frames) {
            EXPECT_EQ(logged.size(), sp.frames) << sp.span;
        }
        EXPECT_EQ(logged.back() - logged.front() + 1, logged.size()) << sp.span;
        const double seconds = double(logged.size()) / sp.fps;

        const std::string probe = "ffprobe -v error -count_frames -show_entries "
                                  "stream=codec_type,width,height,r_frame_rate,nb_read_frames,duration -of compact '" +
                                  d + "/a demo.mp4' >'" + d + "/probe' 2>&1";
        ASSERT_EQ(std::system(probe.c_str()), 0) << text_of(d + "/probe");
        const std::string info = text_of(d + "/probe");
        // One line per stream: "stream|codec_type=video|width=640|...|duration=1.5|nb_read_frames=45".
        const auto stream = [&](const char* type) {
            const size_t at = info.find(std::string("codec_type=") + type);
            return at == std::string::npos ? std::string() : info.substr(at, info.find('\n', at) - at);
        };
        const std::string video = stream("video"), audio = stream("audio");
        ASSERT_FALSE(video.empty() || audio.empty()) << sp.span << ": " << info;
        EXPECT_EQ(video.rfind("codec_type=video|width=640|height=480|r_frame_rate=" + std::to_string(sp.fps) + "/1|", 0), 0u)
            << sp.span << ": " << video;
        EXPECT_NE(video.find("|nb_read_frames=" + std::to_string(logged.size())), std::string::npos) << sp.span << ": " << video;
        const size_t v = video.find("|duration="), a = audio.find("|duration=");
        ASSERT_TRUE(v != std::string::npos && a != std::string::npos) << sp.span << ": " << info;
        const double video_s = std::atof(video.c_str() + v + 10), audio_s = std::atof(audio.c_str() + a + 10);
        EXPECT_NEAR(video_s, seconds, 0.5 / sp.fps) << sp.span << ": " << info;
        EXPECT_NEAR(audio_s, video_s, 1.0 / sp.fps) << sp.span << ": " << info;
        std::system(("rm -rf '" + d + "'").c_str());
    }
}

// The end loop plays for ever: a span given in seconds or frames that runs past
// its second pass is captured whole. Only an order:row can be out of reach.
TEST_F(Capture, TimesAndCountsPastTheSongsEndAreSpansOfTheEndLoop) {
    const std::string d = scratch("loop");
    const struct {
        const char* args;
        uint64_t first, end;
    } spans[] = {
        {"--fps 10 --from 150 --frames 400 --out OUT", 1500, 1900},
        {"--fps 10 --from 150 --to 200 --out OUT", 1500, 2000},
    };
    for (const auto& s : spans) {
        const ToolRun r = capture(d, std::string(s.args) + " --quiet");
        ASSERT_EQ(r.status, 0) << s.args << ": " << r.err;
        const auto names = listing(d + "/OUT");
        ASSERT_EQ(names.size(), s.end - s.first + 1) << s.args << ": frames and the WAV";
        EXPECT_EQ(names.front(), frame_name(s.first)) << s.args;
        EXPECT_EQ(names[names.size() - 2], frame_name(s.end - 1)) << s.args;
        EXPECT_EQ(wav_samples(d + "/OUT/wendril.wav").size(), 2 * (sample_of(s.end, 10) - sample_of(s.first, 10))) << s.args;
        std::system(("rm -rf '" + d + "/OUT'").c_str());
    }
    std::system(("rm -rf '" + d + "'").c_str());
}

// A refused run leaves nothing behind: what can be checked is checked before
// anything is written, and a run that fails part-way removes what it wrote and
// leaves the files of an earlier run as they were.
TEST_F(Capture, RefusedRunsLeaveNothingBehind) {
    const std::string d = scratch("refused");
    const struct {
        const char* args;
        int status;
        const char* says;
    } refused[] = {
        {"--from 20:0 --to 23:0 --out OUT --log L", 2, "never reaches --to 23:0"},  // the song has orders 0 .. 22
        {"--data NO-SUCH-DIR --log L", 1, "cannot enter NO-SUCH-DIR"},
        {"--from 30:0 --log L", 2, "never reaches --from 30:0"},
        {"--fps 10 --from 5 --to 0:3 --out OUT --log L", 2, "nothing to capture"},
    };
    for (const auto& r : refused) {
        const ToolRun run = capture(d, r.args);
        EXPECT_EQ(run.status, r.status) << r.args;
        EXPECT_NE(run.err.find(r.says), std::string::npos) << r.args << ": " << run.err;
        EXPECT_EQ(listing(d), (std::vector<std::string>{"stderr", "stdout"})) << r.args;
    }

    // Row 70 of order 22 is checked by playing: 308 frames are drawn before the
    // end loop has come round twice.
    std::system(("mkdir '" + d + "/OUT' && echo earlier >'" + d + "/OUT/" + frame_name(1500) + "' && echo earlier >'" + d +
                 "/L'").c_str());
    const ToolRun run = capture(d, "--fps 10 --from 20:0 --to 22:70 --out OUT --log L --contact-sheet S.png");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("never reaches --to 22:70"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("removed what this run had written (309 files, 308 of them PNG frames)"), std::string::npos) << run.err;
    EXPECT_EQ(listing(d), (std::vector<std::string>{"L", "OUT", "stderr", "stdout"}));
    EXPECT_EQ(listing(d + "/OUT"), std::vector<std::string>{frame_name(1500)});
    EXPECT_EQ(text_of(d + "/L"), "earlier\n");
    EXPECT_EQ(text_of(d + "/OUT/" + frame_name(1500)), "earlier\n");
    std::system(("rm -rf '" + d + "'").c_str());
}

// The files are renamed into place only at the end; a rename that fails there (the
// name held by a folder) puts back the earlier run's files it had replaced and
// leaves no part file. The later run's frames 10 .. 15 at 20 fps have the names
// of the earlier run's frames 10 .. 12 at 10 fps but other pictures.
TEST_F(Capture, AFailedRenameRestoresTheEarlierRunsFiles) {
    for (const char* held : {"L", "OUT/frame_000014.png", "OUT/wendril.wav", "S.png"}) {
        const std::string d = scratch("rename");
        ASSERT_EQ(capture(d, "--fps 10 --from 1 --frames 3 --out OUT --log L --contact-sheet S.png --quiet").status, 0);
        std::system(("cd '" + d + "' && rm -f " + held + " && mkdir " + held + " && echo kept >" + held + "/x").c_str());
        const std::string before = snapshot(d);
        const ToolRun r = capture(d, "--fps 20 --from 0.5 --frames 6 --out OUT --log L --contact-sheet S.png --quiet");
        EXPECT_EQ(r.status, 1) << held;
        EXPECT_NE(r.err.find("wendril-capture: cannot replace " + d + "/" + held + ": Is a directory"), std::string::npos)
            << r.err;
        EXPECT_EQ(snapshot(d), before) << held;
        std::system(("rm -rf '" + d + "' '" + d + ".snapshot'").c_str());
    }
}

// SIGINT, SIGTERM and SIGHUP part-way leave an earlier run's file as it was and
// nothing of the run, status 128 + the signal; also when the run is blocked on
// the pipe to an ffmpeg that takes nothing (a stand-in that sleeps, which must
// not outlive the run).
TEST_F(Capture, ASignalPartWayRemovesWhatTheRunWrote) {
    const struct {
        int sig;
        const char* name;
        const char* args;
    } runs[] = {
        {SIGINT, "SIGINT", "--out OUT --log L"},
        {SIGTERM, "SIGTERM", "--out OUT --log L --contact-sheet S.png"},
        {SIGHUP, "SIGHUP", "--out OUT --log L"},
        {SIGTERM, "SIGTERM", "--mp4 V.mp4 --log L"},
    };
    for (const auto& run : runs) {
        const std::string d = scratch("signal"), bin = d + "_bin", pid_file = bin + "/pid";
        std::ofstream(d + "/L") << "earlier\n";
        std::system(("rm -rf '" + bin + "' && mkdir '" + bin + "'").c_str());
        std::ofstream(bin + "/ffmpeg") << "#!/bin/sh\necho $$ >'" << pid_file << ".tmp' && mv '" << pid_file << ".tmp' '"
                                       << pid_file << "'\nexec sleep 60\n";
        chmod((bin + "/ffmpeg").c_str(), 0755);
        const pid_t pid = start_capture(d, run.args, "PATH='" + bin + ":" + std::getenv("PATH") + "'");
        // PNG frames being written, or a frame (230400 bytes, more than a pipe
        // holds) waiting on the pipe to the stand-in.
        EXPECT_TRUE(wait_until([&] { return exists(pid_file) || listing(d + "/OUT").size() >= 20; })) << run.args;
        usleep(300000);
        kill(pid, run.sig);
        int status = 0;
        if (!wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; })) kill(pid, SIGKILL), waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + run.sig) << run.name << ": status " << status;
        EXPECT_NE(text_of(d + "/stderr").find(std::string("wendril-capture: stopped by ") + run.name), std::string::npos);
        EXPECT_EQ(listing(d), (std::vector<std::string>{"L", "stderr", "stdout"})) << run.name << " " << run.args;
        EXPECT_EQ(text_of(d + "/L"), "earlier\n");
        const pid_t ffmpeg = pid_t(std::atoi(text_of(pid_file).c_str()));
        EXPECT_FALSE(ffmpeg > 0 && kill(ffmpeg, SIGKILL) == 0) << "the stand-in ffmpeg outlived the run";
        std::system(("rm -rf '" + d + "' '" + bin + "'").c_str());
    }
}

// Both programs read their arguments before the environment: --help and --version
// answer whatever TAVIK_SCALE holds, --scale wins over it, and it is refused only
// when it is used. wendril's rows end before a window would open.
TEST_F(Capture, ArgumentsComeBeforeTheScaleInTheEnvironment) {
    const std::string d = scratch("command_line"), run = "--data '" + DATA + "' --frames 1 --quiet --log L";
    const struct {
        const char* env;
        const char* program;
        std::string args;
        int status;
        const char* says;  // on standard output for --help and --version, else on standard error
    } rows[] = {
        {"TAVIK_SCALE=abc", "wendril", "--version", 0, "wendril "},
        {"TAVIK_SCALE=abc", "wendril", "--help", 0, "usage: wendril"},
        {"TAVIK_SCALE=abc", "wendril", "--window --scale 9", 2, "wendril: --scale wants a scale from 1 to 8 (such as 2 or 4.5), not '9'"},
        {"TAVIK_SCALE=abc", "wendril", "--scale 2 --fullscreen", 2, "wendril: unknown argument '--fullscreen'"},
        {"TAVIK_SCALE=abc", "wendril", "--window", 2, "wendril: TAVIK_SCALE wants a scale from 1 to 8 (such as 2 or 4.5), not 'abc'"},
        {"TAVIK_SCALE=abc", "wendril-capture", "--help", 0, "usage: wendril-capture"},
        {"TAVIK_SCALE=abc", "wendril-capture", run, 2, "wendril-capture: TAVIK_SCALE wants a scale from 1 to 8 (such as 2 or 4.5), not 'abc'"},
        {"TAVIK_SCALE=abc", "wendril-capture", run + " --scale 0.5", 2, "wendril-capture: --scale wants a scale from 1 to 8 (such as 2 or 4.5), not '0.5'"},
        {"TAVIK_SCALE=abc", "wendril-capture", run + " --fps 0", 2, "wendril-capture: --fps wants"},
        {"TAVIK_SCALE=abc", "wendril-capture", run + " --scale 2", 0, "at 60 fps, 640 x 480)"},
        {"TAVIK_SCALE=2", "wendril-capture", run, 0, "at 60 fps, 640 x 480)"},
        {"TAVIK_SCALE=2", "wendril-capture", run + " --scale 1", 0, "at 60 fps, 320 x 240)"},
        {"TAVIK_SCALE=", "wendril-capture", run, 0, "at 60 fps, 320 x 240)"},
    };
    for (const auto& r : rows) {
        const std::string shown = std::string(r.env) + " " + r.program + " " + r.args;
        const int raw =
            std::system(("cd '" + d + "' && env " + r.env + " '" + BIN + "/" + r.program + "' " + r.args + " >stdout 2>stderr").c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, r.status) << shown;
        const bool asks = r.args == "--help" || r.args == "--version";
        const std::string said = text_of(d + (asks ? "/stdout" : "/stderr"));
        EXPECT_NE(said.find(r.says), std::string::npos) << shown << ": " << said;
        EXPECT_EQ(exists(d + "/L"), r.status == 0 && !asks) << shown << ": a log only from a run";
        std::remove((d + "/L").c_str());
    }
}
