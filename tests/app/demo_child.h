// Runs the demo in a child process, so that each run has fresh program state and
// a run that ends the process (exit, a fault) cannot take the test with it; the
// child's standard output and error are kept in files for the test to read.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace robust {

inline const std::string& data_dir() {
    static const std::string dir = std::string(TAVIK_BINARY_DIR) + "/data";
    return dir;
}

inline bool have_data() {
    struct stat st;
    return stat((data_dir() + "/ragga.xm").c_str(), &st) == 0 &&
           stat((data_dir() + "/slutbild.gif").c_str(), &st) == 0;
}

// The build writes the data set (mkassets): without it the test fails, it is not skipped.
#define ROBUST_REQUIRE_DATA()                                                                           \
    if (!robust::have_data()) GTEST_FAIL() << "no default data set in " << robust::data_dir() << " (mkassets)"

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A scratch copy of the data set: every entry a link to the original, except
// the ones a test replaces. Removed when it goes out of scope.
struct DataCopy {
    std::string dir;
    DataCopy() {
        char tmpl[] = "/tmp/wendril_robust_XXXXXX";
        dir = mkdtemp(tmpl);
        const std::string cmd = "cd '" + data_dir() + "' && for f in * data/*/*; do mkdir -p \"" + dir +
                                "/$(dirname \"$f\")\"; [ -d \"$f\" ] || ln -s \"$PWD/$f\" \"" + dir + "/$f\"; done";
        if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
    }
    ~DataCopy() { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    // The original bytes of a file of the data set.
    static std::string original(const std::string& name) { return read_file(data_dir() + "/" + name); }
    void replace(const std::string& name, const std::string& bytes) const {
        unlink(path(name).c_str());
        write_file(path(name), bytes);
    }
    void remove(const std::string& name) const { unlink(path(name).c_str()); }
};

struct ChildResult {
    int status = -1;       // exit status, or -1 when the child did not exit normally
    int signal = 0;        // the signal that ended it, if any
    std::string out;       // standard output
    std::string err;       // standard error
};

// Runs `body` in a child process in `dir`; the value it returns is the exit status.
// The child is stopped after `seconds`, which the result shows as SIGALRM.
inline ChildResult run_child(const std::string& dir, const std::function<int()>& body, unsigned seconds = 120) {
    char tmpl[] = "/tmp/wendril_child_XXXXXX";
    const std::string scratch = mkdtemp(tmpl);
    const std::string out_path = scratch + "/out", err_path = scratch + "/err";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen(out_path.c_str(), "w", stdout) || !std::freopen(err_path.c_str(), "w", stderr)) _exit(99);
        alarm(seconds);
        if (chdir(dir.c_str()) != 0) _exit(98);
        std::exit(body());
    }
    ChildResult r;
    int wstatus = 0;
    if (pid < 0 || waitpid(pid, &wstatus, 0) != pid) {
        ADD_FAILURE() << "fork or wait failed";
        return r;
    }
    if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    std::system(("rm -rf '" + scratch + "'").c_str());
    return r;
}

// Key=value lines a child writes for the parent to check.
struct Report {
    std::string path;
    Report() {
        char tmpl[] = "/tmp/wendril_report_XXXXXX";
        const int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        path = tmpl;
    }
    ~Report() { unlink(path.c_str()); }
    void put(const std::string& key, long long value) const {
        std::ofstream out(path, std::ios::app);
        out << key << "=" << value << "\n";
    }
    // The last value written for key, or `missing`.
    long long get(const std::string& key, long long missing = -1) const {
        std::istringstream in(read_file(path));
        long long value = missing;
        for (std::string line; std::getline(in, line);)
            if (line.compare(0, key.size() + 1, key + "=") == 0) value = std::stoll(line.substr(key.size() + 1));
        return value;
    }
};

}  // namespace robust
