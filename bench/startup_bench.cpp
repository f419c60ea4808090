// Start-up and memory of tvk9-programmer beside the smallest Qt Widgets program with a window
// of the same size (minimal_window): the time from starting the process to its window painted
// on screen, and the process's peak resident memory over that and one second more. Both run
// as they ship, each with first_paint_probe loaded to note the first paint, and with an empty
// port folder, so the programmer finds no port of this machine's to open. Needs a display
// (./do bench starts Xvfb when there is none).

#include "bench/side_by_side.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Run {
    double secondsToFirstPaint;
    double peakBytes;
};

// Starts `program` with the probe, waits for it to end (at most 30 s) and reads its figures.
Run Measure(const std::string& program, const std::filesystem::path& work) {
    const std::filesystem::path stamp = work / "first-paint";
    std::filesystem::remove(stamp);
    std::vector<std::string> env{"LD_PRELOAD=" TVK9_PROBE,
                                 "TVK9_FIRST_PAINT_FILE=" + stamp.string(),
                                 "TVK9_PORT_DIR=" + (work / "ports").string()};
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LD_PRELOAD=", 0) != 0 && entry.rfind("TVK9_", 0) != 0) {
            env.push_back(entry);
        }
    }
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};

    // What the program prints goes to a log of its own, shown should it fail.
    const std::string log = (work / "program.log").string();
    posix_spawn_file_actions_t output;
    posix_spawn_file_actions_init(&output);
    posix_spawn_file_actions_addopen(&output, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&output, 1, 2);
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = ::posix_spawn(&pid, path.c_str(), &output, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&output);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    // glibc 2.36 declares pidfd_open() without C linkage for C++; the system call is the same.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd p{pidfd, POLLIN, 0};
    if (pidfd < 0 || ::poll(&p, 1, 30000) != 1) {
        ::kill(pid, SIGKILL);
    }
    if (pidfd >= 0) {
        ::close(pidfd);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    double paintedAt = 0;
    if (!(std::ifstream(stamp) >> paintedAt)) {
        std::ifstream printed(log);
        throw std::runtime_error(program + " showed no window; it printed:\n" +
                                 std::string(std::istreambuf_iterator<char>(printed), {}));
    }
    const std::chrono::duration<double> startedAt = start.time_since_epoch();
    return {paintedAt - startedAt.count(), usage.ru_maxrss * 1024.0};
}

} // namespace

int main() {
    namespace fs = std::filesystem;
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::fprintf(stderr, "startup_bench: no display; run it under xvfb-run -a\n");
        return 1;
    }
    char pattern[] = "/tmp/tvk9-startup-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("startup_bench: mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    fs::create_directory(work / "ports");
    std::vector<double> memory[2];
    try {
        auto side = [&](const char* program, std::vector<double>& peaks) {
            return [&, program] {
                const Run run = Measure(program, work);
                peaks.push_back(run.peakBytes);
                return run.secondsToFirstPaint;
            };
        };
        // The first start of each pays for loading the libraries from disk; not counted.
        Measure(TVK9_PROGRAMMER, work);
        Measure(TVK9_MINIMAL_WINDOW, work);
        const auto time =
            tvk9::bench::Alternate(tvk9::bench::Rounds(11), {side(TVK9_PROGRAMMER, memory[0]),
                                                             side(TVK9_MINIMAL_WINDOW, memory[1])});
        tvk9::bench::PrintFigure("start to main window painted", tvk9::bench::Time(), time[0],
                                 "minimal Qt Widgets window", time[1], 1.2);
        tvk9::bench::PrintFigure("peak memory (resident, to 1 s after the first paint)",
                                 tvk9::bench::Memory(), memory[0], "minimal Qt Widgets window",
                                 memory[1], 1.1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup_bench: %s\n", e.what());
        fs::remove_all(work);
        return 1;
    }
    fs::remove_all(work);
    return 0;
}
