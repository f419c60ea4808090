// The look for other programs that hold a port: what it finds in a process that opens, swaps
// and closes descriptors, and that it walks again only the processes that have run.

#include "serial/linux_port_use.h"
#include "tests/serial/pty_pair.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tvk9 {
namespace {

namespace fs = std::filesystem;
using linux_port::HolderLook;

// A child that keeps one descriptor, number 100, on /dev/null or on a device as it is told: 'o'
// puts the device there, 'n' /dev/null, each in place of what was there, so that the number
// and the count of its descriptors never change. Between two orders it sleeps and never runs.
class Holder {
public:
    // `user`, if given, is whom the child becomes.
    explicit Holder(const std::string& device, const passwd* user = nullptr) {
        if (::pipe2(orders_, O_CLOEXEC) != 0 || ::pipe2(done_, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            // As a program of that user's own (changing users makes /proc hide a process).
            if (user != nullptr && (::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0 ||
                                    ::prctl(PR_SET_DUMPABLE, 1) != 0))
                ::_exit(1);
            Serve(device.c_str());
        }
        ::close(orders_[0]);
        ::close(done_[1]);
        Tell('n');
    }
    ~Holder() {
        ::close(orders_[1]);
        ::waitpid(pid_, nullptr, 0);
        ::close(done_[0]);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    void Tell(char order) {
        char answer = 0;
        ASSERT_EQ(::write(orders_[1], &order, 1), 1);
        ASSERT_EQ(::read(done_[0], &answer, 1), 1);
    }
    pid_t Pid() const { return pid_; }

private:
    [[noreturn]] void Serve(const char* device) {
        // What it inherited, the test's own end of the port among them, is not its to hold.
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != orders_[0] && fd != done_[1])
                ::close(fd);
        }
        for (char order = 0; ::read(orders_[0], &order, 1) == 1;) {
            const int fd = ::open(order == 'o' ? device : "/dev/null", O_RDWR | O_NOCTTY);
            ::dup2(fd, 100);
            ::close(fd);
            [[maybe_unused]] const auto n = ::write(done_[1], &order, 1);
        }
        ::_exit(0);
    }

    int orders_[2] = {-1, -1};
    int done_[2] = {-1, -1};
    pid_t pid_ = -1;
};

dev_t DeviceOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_rdev : dev_t{};
}

TEST(HolderLook, FindsWhoHoldsTheDeviceNowAfterEverySwapOfADescriptor) {
    testing::PtyPair pty; // this process holds it, and never counts
    const dev_t device = DeviceOf(pty.Path());
    HolderLook look;
    look.Refresh();
    EXPECT_FALSE(look.HolderOf(device));

    Holder child(pty.Path());
    look.Refresh();
    EXPECT_FALSE(look.HolderOf(device));
    // Descriptor 100 now leads to the port: as many descriptors, with the same numbers.
    child.Tell('o');
    look.Refresh();
    const auto holder = look.HolderOf(device);
    ASSERT_TRUE(holder);
    EXPECT_EQ(holder->pid, child.Pid());
    EXPECT_EQ(holder->program, linux_port::ProgramOf(child.Pid()));
    EXPECT_FALSE(holder->program.empty());
    EXPECT_EQ(linux_port::FindHolder(device)->pid, child.Pid()); // a fresh look agrees
    child.Tell('n');
    look.Refresh();
    EXPECT_FALSE(look.HolderOf(device));
    EXPECT_FALSE(linux_port::FindHolder(device));
}

// With a /proc of the test's own whose process folder is named after the child, the child's CPU
// clock decides whether its descriptors are looked at again.
TEST(HolderLook, WalksAgainOnlyTheProcessesThatHaveRun) {
    testing::PtyPair pty;
    const dev_t device = DeviceOf(pty.Path());
    Holder child(pty.Path());
    const TempDir proc("tvk9-proc");
    const fs::path fds = proc / std::to_string(child.Pid()) / "fd";
    fs::create_directories(fds);
    fs::create_directories(proc / "self"); // no process: not in view
    fs::create_symlink("/dev/null", fds / "100");
    HolderLook look(proc.path());
    look.Refresh();
    EXPECT_EQ(look.WalkedProcesses(), 1u);
    EXPECT_EQ(look.WalkedDescriptors(), 1u);
    EXPECT_FALSE(look.HolderOf(device));

    // A child that slept has changed nothing: its descriptors are not walked.
    fs::remove(fds / "100");
    fs::create_symlink(pty.Path(), fds / "100");
    look.Refresh();
    EXPECT_EQ(look.WalkedProcesses(), 0u);
    EXPECT_FALSE(look.HolderOf(device));
    // One that ran may have: they are.
    child.Tell('n');
    look.Refresh();
    EXPECT_EQ(look.WalkedProcesses(), 1u);
    ASSERT_TRUE(look.HolderOf(device));
    EXPECT_EQ(look.HolderOf(device)->pid, child.Pid());
}

// Another user's descriptors are not in a user's view, their own are; root sees everyone's, and
// the lowest PID of several holders is named.
TEST(HolderLook, AUserSeesOnlyTheirOwnProcesses) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr)
        GTEST_SKIP() << "needs root and user nobody";
    testing::PtyPair pty;
    ASSERT_EQ(::chmod(pty.Path().c_str(), 0666), 0);
    const dev_t device = DeviceOf(pty.Path());
    Holder root(pty.Path());
    Holder user(pty.Path(), nobody);
    root.Tell('o');
    user.Tell('o');
    int answer[2] = {-1, -1};
    ASSERT_EQ(::pipe(answer), 0);
    const pid_t look = ::fork();
    if (look == 0) {
        pid_t seen = -1;
        if (::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0) {
            const auto holder = linux_port::FindHolder(device);
            seen = holder ? holder->pid : 0;
        }
        [[maybe_unused]] const auto n = ::write(answer[1], &seen, sizeof seen);
        ::_exit(0);
    }
    pid_t seen = -1;
    ::close(answer[1]);
    EXPECT_EQ(::read(answer[0], &seen, sizeof seen), static_cast<ssize_t>(sizeof seen));
    ::waitpid(look, nullptr, 0);
    ::close(answer[0]);
    EXPECT_EQ(seen, user.Pid());
    ASSERT_LT(root.Pid(), user.Pid());
    EXPECT_EQ(linux_port::FindHolder(device)->pid, root.Pid());
}

} // namespace
} // namespace tvk9
