// tvk9-cli from process start to exit against simulated sensors that send at the pace of the
// real line (tvk9-devsim --baud-timing): `read` and `write` on a known port, and `find` over
// several ports, which listens to all of them at once; and the CPU of `watch` while nothing
// happens. Each port folder is the benchmark's own.

#include "bench/side_by_side.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A program started with TVK9_PORT_DIR set and its output on a pipe (or thrown away).
class Process {
public:
    Process(std::vector<std::string> args, const fs::path& ports, bool keepOutput) {
        std::vector<std::string> env{"TVK9_PORT_DIR=" + ports.string()};
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::string(*e).rfind("TVK9_PORT_DIR=", 0) != 0) {
                env.emplace_back(*e);
            }
        }
        int out[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (keepOutput && ::pipe2(out, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        std::vector<char*> envp;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        for (std::string& e : env) {
            envp.push_back(e.data());
        }
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const int failed =
            ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (out[1] >= 0) {
            ::close(out[1]);
        }
        out_ = out[0];
        if (failed != 0) {
            throw std::runtime_error("cannot start " + args.front());
        }
    }
    ~Process() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            Wait();
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    std::string FirstLine() {
        std::string line;
        char c = 0;
        pollfd p{out_, POLLIN, 0};
        while (::poll(&p, 1, 10000) == 1 && ::read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

const std::string Cli = TVK9_BIN_DIR "/tvk9-cli";
const std::string Devsim = TVK9_BIN_DIR "/tvk9-devsim";

// Seconds from starting tvk9-cli to its exit; it must succeed.
double Seconds(const std::vector<std::string>& args, const fs::path& ports) {
    std::vector<std::string> argv{Cli};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto start = Clock::now();
    Process cli(argv, ports, false);
    if (const int status = cli.Wait(); status != 0) {
        throw std::runtime_error("tvk9-cli " + args.front() + " ended with " +
                                 std::to_string(status));
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Ms(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds * 1000);
    return text;
}

// "45.2 ms (41.0–60.3)" and whether the median meets `goal` seconds.
void Figure(const std::string& name, const std::vector<double>& samples, double goal,
            const std::string& goalText) {
    const double median = tvk9::bench::Median(samples);
    const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
    tvk9::bench::PrintFigure(name, Ms(median) + " ms (" + Ms(*lo) + "–" + Ms(*hi) + ")", "—",
                             goalText + (median <= goal ? ": met" : ": NOT MET"));
}

double CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stod(field); // utime, stime
        }
    }
    return ticks;
}

} // namespace

int main() {
    char pattern[] = "/tmp/tvk9-cli-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("cli_bench: mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    const fs::path one = work / "one";
    const fs::path many = work / "many";
    fs::create_directories(one);
    fs::create_directories(many);
    int result = 0;
    try {
        Process sensor({Devsim, "--baud-timing"}, one, true);
        const std::string port = sensor.FirstLine();
        constexpr int Ports = 8; // as the figure's name says
        std::vector<std::unique_ptr<Process>> sensors;
        for (int i = 0; i < Ports; ++i) {
            std::string name = "S";
            name += std::to_string(i);
            sensors.push_back(std::make_unique<Process>(
                std::vector<std::string>{Devsim, "--baud-timing", "--name", name}, many, true));
            sensors.back()->FirstLine();
        }
        // The first runs pay for loading the program from disk; not counted.
        Seconds({"read", "--port", port}, one);
        const int rounds = tvk9::bench::Rounds(21);
        std::vector<double> read, write, find;
        for (int r = 0; r < rounds; ++r) {
            read.push_back(Seconds({"read", "--port", port}, one));
            write.push_back(Seconds(
                {"write", "--port", port, "--orientation", r % 2 == 0 ? "horizontal" : "vertical"},
                one));
            find.push_back(Seconds({"find"}, many));
        }
        Figure("tvk9-cli read, start to exit (devsim --baud-timing, known port)", read, 0.060,
               "≤ 60 ms");
        Figure("tvk9-cli write: read, write, check (same)", write, 0.150, "≤ 150 ms");
        Figure("tvk9-cli find over 8 ports", find, 0.700, "≤ 700 ms (one announcement window)");

        // watch with nothing to do, holding a file that backup made.
        const std::string file = (work / "sensor.tvk").string();
        Seconds({"backup", "--port", port, "-o", file}, one);
        Process watch({Cli, "watch", "--file", file}, work / "idle", false);
        // Past its start and the second try of ports it could not open at first (2 s).
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double before = CpuTicks(watch.Pid());
        constexpr int IdleSeconds = 5;
        std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds));
        const double ms = (CpuTicks(watch.Pid()) - before) * 1000.0 /
                          static_cast<double>(::sysconf(_SC_CLK_TCK)) / IdleSeconds;
        char text[64];
        std::snprintf(text, sizeof text, "%.1f ms CPU per s", ms);
        tvk9::bench::PrintFigure("idle CPU, tvk9-cli watch with no sensor", text, "—",
                                 "≈ 0 (no wake-ups)");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cli_bench: %s\n", e.what());
        result = 1;
    }
    fs::remove_all(work);
    return result;
}
