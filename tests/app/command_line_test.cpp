// The command lines of wendril and wendril-capture: the arguments are read before
// the environment, so --help and --version answer whatever TAVIK_SCALE holds,
// --scale wins over it, and the variable is refused only when it is used.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string BIN = TAVIK_BINARY_DIR;

std::string text_of(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

// wendril's rows end before the demo would open a window; wendril-capture's draw
// one frame and say its size.
TEST(CommandLine, ArgumentsComeBeforeTheScaleInTheEnvironment) {
    const std::string dir = "/tmp/wendril_command_line_test_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
    const std::string run = "--data '" + BIN + "/data' --frames 1 --quiet --log L";  // wendril-capture, one frame
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
        const int raw = std::system(("cd '" + dir + "' && " + r.env + " '" + BIN + "/" + r.program + "' " + r.args + " >out 2>err").c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << shown;
        EXPECT_EQ(WEXITSTATUS(raw), r.status) << shown;
        const bool asks = r.args == "--help" || r.args == "--version";
        const std::string said = text_of(dir + (asks ? "/out" : "/err"));
        EXPECT_NE(said.find(r.says), std::string::npos) << shown << ": " << said;
        struct stat st;
        EXPECT_EQ(stat((dir + "/L").c_str(), &st) == 0, r.status == 0 && !asks) << shown << ": a log only from a run";
        std::remove((dir + "/L").c_str());
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}
