// tvk9-devsim as its users run it: a separate process, its port found through the port folder.

#include "config/port_list.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/devsim_client.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tvk9::devsim {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Patience;
using testing::PortClient;
using testing::ToBytes;

const std::string Program = std::string(TVK9_BIN_DIR) + "/tvk9-devsim";

// The program with its standard output and error on pipes, TVK9_PORT_DIR set to a folder of
// its own, killed if a test leaves it running.
class DevsimProcess {
public:
    explicit DevsimProcess(std::vector<std::string> args) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);

        std::vector<std::string> env{"TVK9_PORT_DIR=" + folder_.path().string()};
        for (char** e = environ; *e != nullptr; ++e) {
            if (!std::string_view(*e).starts_with("TVK9_PORT_DIR=")) {
                env.emplace_back(*e);
            }
        }
        args.insert(args.begin(), Program);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        if (::posix_spawn(&pid_, Program.c_str(), &actions, nullptr, argv.data(), envp.data()) !=
            0) {
            ADD_FAILURE() << "cannot start " << Program;
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~DevsimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        ::close(out_);
        ::close(err_);
    }
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    const fs::path& folder() const { return folder_.path(); }

    // The first line of standard output, without its newline.
    std::string FirstLine() {
        std::string line;
        char c = 0;
        while (line.size() < 4096) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(Patience.count())) <= 0 ||
                ::read(out_, &c, 1) != 1 || c == '\n') {
                break;
            }
            line += c;
        }
        return line;
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // The exit status; -1 if the program did not exit normally.
    int Wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // All of standard error or output; only once the program has ended.
    std::string Rest(bool error) {
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(error ? err_ : out_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

private:
    TempDir folder_{"tvk9-devsim-prog"};
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

TEST(DevsimProgram, ServesItsPortUntilTerminatedAndThenRemovesIt) {
    DevsimProcess sim({"--log", "--delay", "5", "--settings", "0x02,9,11,20,1,2,3"});
    const std::string port = sim.FirstLine();
    ASSERT_EQ(fs::path(port), sim.folder() / "TVK9-SIM");
    EXPECT_EQ(ListSerialPorts(sim.folder() / "no-sysfs", sim.folder()),
              std::vector<std::string>{port});
    {
        PortClient client(port);
        EXPECT_EQ(client.Read(3), ToBytes(PresenceSignature));
        client.Write(QueryFrame);
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame({0x02, 9, 11, 20, 1, 2, 3})));
        const DeviceSettings written{0x10, 5, 20, 11, 0x32, 0x3C, 0x46};
        client.Write(BuildSettingsFrame(written));
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame(written)));
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(port)));
    const std::string log = sim.Rest(true);
    EXPECT_NE(log.find(" rx AA 01 00 00 00 00 00 00 00 AB (query)\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" tx BB 03 10 05 14 0B 32 3C 46 "), std::string::npos) << log;
}

TEST(DevsimProgram, EndsOnInterruptAndRefusesBadOptions) {
    {
        DevsimProcess sim({"--name", "SIM-A"});
        const std::string port = sim.FirstLine();
        ASSERT_EQ(fs::path(port), sim.folder() / "SIM-A");
        sim.Signal(SIGINT);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(port)));
    }
    {
        DevsimProcess sim({"--delay", "soon"});
        EXPECT_EQ(sim.Wait(), 2);
        EXPECT_NE(sim.Rest(true).find("--delay"), std::string::npos);
        EXPECT_TRUE(sim.Rest(false).empty()); // no port was made
    }
}

} // namespace
} // namespace tvk9::devsim
