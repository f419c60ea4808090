// tvk9-cli from process start to exit against simulated sensors that send at the pace of the
// real line (tvk9-devsim --baud-timing): `read` and `write` on a known port, and `find` over 64
// ports, which listens to all of them at once; the CPU of `watch` for one sensor plugged in,
// written and unplugged, and while nothing happens. Each port folder is the benchmark's own.
// With TVK9_BENCH_BASELINE=FOLDER, the tvk9-cli in FOLDER (a build from before a change) is
// measured beside this build's, round by round.

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
#include <functional>
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

// Seconds from starting `cli` to its exit; it must succeed. Its output, if asked for.
double Seconds(const std::string& cli, const std::vector<std::string>& args, const fs::path& ports,
               std::vector<std::string>* lines = nullptr) {
    std::vector<std::string> argv{cli};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto start = Clock::now();
    Process run(argv, ports, lines != nullptr);
    if (lines != nullptr) {
        for (std::string line; !(line = run.FirstLine()).empty();) {
            lines->push_back(line);
        }
    }
    if (const int status = run.Wait(); status != 0) {
        throw std::runtime_error(cli + " " + args.front() + " ended with " +
                                 std::to_string(status));
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A figure of this build, beside the same of the build before when there is one.
void Figure(const std::string& name, const std::vector<std::vector<double>>& samples, double goal,
            const std::string& goalText, bool met = true) {
    namespace bench = tvk9::bench;
    if (samples.size() > 1) {
        bench::PrintFigureAtMost(name, bench::Time(), samples[0], "before", samples[1], goal, met);
        return;
    }
    const double median = bench::Median(samples[0]);
    bench::PrintFigure(name, bench::MedianAndRange(bench::Time(), samples[0]), "—",
                       goalText + (median <= goal && met ? ": met" : ": NOT MET"));
}

// CPU time of a whole process, its threads that have ended included.
double CpuSeconds(pid_t pid) {
    clockid_t clock{};
    timespec used{};
    if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &used) != 0) {
        return 0;
    }
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

} // namespace

int main() {
    namespace bench = tvk9::bench;
    char pattern[] = "/tmp/tvk9-cli-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("cli_bench: mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    const fs::path one = work / "one";
    const fs::path many = work / "many";
    const fs::path line = work / "line";
    for (const fs::path& folder : {one, many, line}) {
        fs::create_directories(folder);
    }
    // The build before, measured beside this one: TVK9_BENCH_BASELINE names its bin folder.
    std::vector<std::string> clis{Cli};
    if (const char* before = std::getenv("TVK9_BENCH_BASELINE"); before && *before) {
        clis.push_back(std::string(before) + "/tvk9-cli");
        std::printf("cli_bench: beside %s\n", clis.back().c_str());
    }
    const auto each = [&](const std::function<double(const std::string&)>& measure) {
        std::vector<std::function<double()>> sides;
        for (const std::string& cli : clis) {
            sides.push_back([measure, cli] { return measure(cli); });
        }
        return sides;
    };
    int result = 0;
    try {
        Process sensor({Devsim, "--baud-timing"}, one, true);
        const std::string port = sensor.FirstLine();
        constexpr int Ports = 64; // as the figure's name says
        std::vector<std::unique_ptr<Process>> sensors;
        for (int i = 0; i < Ports; ++i) {
            std::string name = "S"; // not "S" + ...: a false -Wrestrict of GCC 12 at -O3
            name += std::to_string(i);
            sensors.push_back(std::make_unique<Process>(
                std::vector<std::string>{Devsim, "--baud-timing", "--name", name}, many, true));
            sensors.back()->FirstLine();
        }
        // The first runs pay for loading the programs from disk; not counted.
        for (const std::string& cli : clis) {
            Seconds(cli, {"read", "--port", port}, one);
        }
        const int rounds = bench::Rounds(21);
        int turn = 0;
        const auto read = bench::Alternate(rounds, each([&](const std::string& cli) {
                                               return Seconds(cli, {"read", "--port", port}, one);
                                           }));
        const auto write =
            bench::Alternate(rounds, each([&](const std::string& cli) {
                                 return Seconds(cli,
                                                {"write", "--port", port, "--orientation",
                                                 ++turn % 2 == 0 ? "horizontal" : "vertical"},
                                                one);
                             }));
        std::size_t fewest = Ports;
        const auto find = bench::Alternate(rounds, each([&](const std::string& cli) {
                                               std::vector<std::string> found;
                                               const double s =
                                                   Seconds(cli, {"find"}, many, &found);
                                               if (cli == Cli) {
                                                   fewest = std::min(fewest, found.size());
                                               }
                                               return s;
                                           }));
        Figure("tvk9-cli read, start to exit (devsim --baud-timing, known port)", read, 0.045,
               "≤ 45 ms");
        Figure("tvk9-cli write: read, write, check (same)", write, 0.090, "≤ 90 ms");
        Figure("tvk9-cli find over 64 simulated sensors (devsim --baud-timing); found " +
                   std::to_string(fewest) + " of 64 in the worst run",
               find, 0.150, "≤ 150 ms, 64 of 64 every run", fewest == Ports);
        if (fewest != Ports) {
            std::printf("cli_bench: find found only %zu of %d in one run\n", fewest, Ports);
        }

        // watch writing a sensor plugged in and then out again: its CPU for one plug cycle.
        const std::string file = (work / "sensor.tvk").string();
        Seconds(Cli, {"backup", "--port", port, "-o", file}, one);
        constexpr int Cycles = 10;
        const auto cycles = bench::Alternate(
            bench::Rounds(5), each([&](const std::string& cli) {
                Process watch({cli, "watch", "--file", file}, line, true);
                std::this_thread::sleep_for(std::chrono::seconds(1)); // past its start
                const double before = CpuSeconds(watch.Pid());
                for (int c = 0; c < Cycles; ++c) {
                    Process plugged({Devsim, "--name", "P"}, line, true);
                    plugged.FirstLine();
                    if (watch.FirstLine().find("Modify Successful!") == std::string::npos) {
                        throw std::runtime_error("watch did not write the sensor");
                    }
                }
                // The last unplug seen.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return (CpuSeconds(watch.Pid()) - before) / Cycles;
            }));
        Figure("tvk9-cli watch: CPU per plug cycle (a sensor plugged in, written, unplugged)",
               cycles, 0.005, "≤ 5 ms");

        // watch with nothing to do.
        Process watch({Cli, "watch", "--file", file}, work / "idle", false);
        // Past its start and the second try of ports it could not open at first (2 s).
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double before = CpuSeconds(watch.Pid());
        constexpr int IdleSeconds = 5;
        std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds));
        char text[64];
        std::snprintf(text, sizeof text, "%.3f ms CPU per s",
                      (CpuSeconds(watch.Pid()) - before) * 1000.0 / IdleSeconds);
        bench::PrintFigure("idle CPU, tvk9-cli watch with no sensor", text, "—",
                           "≈ 0 (no wake-ups)");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cli_bench: %s\n", e.what());
        result = 1;
    }
    fs::remove_all(work);
    return result;
}
