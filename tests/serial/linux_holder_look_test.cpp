// The look for other programs that hold a port: what it finds in a process that swaps and
// closes descriptors, whose processes a user sees, and that it walks again only those that ran.

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
using linux_port::FindHolder;
using linux_port::HolderLook;

// A child whose descriptor 100 leads to the device after order 'o' and to /dev/null after 'n',
// each put in place of the last, so that its descriptors keep their number and count. Between
// orders it sleeps and never runs. `user`: whom it becomes first, as a program of theirs.
class Holder {
public:
    explicit Holder(const std::string& device, const passwd* user = nullptr) {
        if (::pipe(orders_) != 0 || ::pipe(done_) != 0 || (pid_ = ::fork()) < 0)
            throw std::runtime_error("cannot start a holder");
        if (pid_ == 0) {
            // Nothing inherited, the test's own end of the port above all.
            for (int fd = 3; fd < 1024; ++fd)
                if (fd != orders_[0] && fd != done_[1])
                    ::close(fd);
            if (user != nullptr && (::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0 ||
                                    ::prctl(PR_SET_DUMPABLE, 1) != 0))
                ::_exit(1);
            for (char order = 0; ::read(orders_[0], &order, 1) == 1;) {
                const int fd = ::open(order == 'o' ? device.c_str() : "/dev/null", O_RDWR);
                ::dup2(fd, 100);
                ::close(fd);
                [[maybe_unused]] const auto n = ::write(done_[1], &order, 1);
            }
            ::_exit(0);
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
    void Tell(char order) {
        ASSERT_EQ(::write(orders_[1], &order, 1), 1);
        ASSERT_EQ(::read(done_[0], &order, 1), 1);
    }
    pid_t Pid() const { return pid_; }

private:
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
    Holder child(pty.Path());
    HolderLook look;
    look.Refresh();
    EXPECT_FALSE(look.HolderOf(device));
    child.Tell('o'); // as many descriptors as before, with the same numbers
    look.Refresh();
    ASSERT_TRUE(look.HolderOf(device));
    EXPECT_EQ(look.HolderOf(device)->pid, child.Pid());
    EXPECT_EQ(look.HolderOf(device)->program, linux_port::ProgramOf(child.Pid()));
    child.Tell('n');
    look.Refresh();
    EXPECT_FALSE(look.HolderOf(device));
}

// With a /proc of the test's own whose one process folder bears the child's PID, the child's
// CPU clock decides whether its descriptors are looked at again.
TEST(HolderLook, WalksAgainOnlyTheProcessesThatHaveRun) {
    testing::PtyPair pty;
    Holder child(pty.Path());
    const TempDir proc("tvk9-proc");
    const fs::path fds = proc / std::to_string(child.Pid()) / "fd";
    fs::create_directories(fds);
    fs::create_symlink("/dev/null", fds / "100");
    HolderLook look(proc.path());
    look.Refresh();
    EXPECT_EQ(look.WalkedProcesses(), 1u);
    fs::remove(fds / "100");
    fs::create_symlink(pty.Path(), fds / "100");
    look.Refresh(); // it slept: nothing it holds can have changed
    EXPECT_EQ(look.WalkedProcesses(), 0u);
    EXPECT_FALSE(look.HolderOf(DeviceOf(pty.Path())));
    child.Tell('n'); // it ran
    look.Refresh();
    EXPECT_EQ(look.WalkedProcesses(), 1u);
    ASSERT_TRUE(look.HolderOf(DeviceOf(pty.Path())));
}

// A user sees their own programs' descriptors, not another user's; root sees all, and names
// the lowest PID of several holders.
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
    int seen[2] = {-1, -1};
    ASSERT_EQ(::pipe(seen), 0);
    const pid_t look = ::fork();
    if (look == 0) {
        pid_t pid = -1;
        if (::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0)
            pid = FindHolder(device) ? FindHolder(device)->pid : 0;
        [[maybe_unused]] const auto n = ::write(seen[1], &pid, sizeof pid);
        ::_exit(0);
    }
    pid_t pid = -1;
    ::close(seen[1]);
    EXPECT_EQ(::read(seen[0], &pid, sizeof pid), static_cast<ssize_t>(sizeof pid));
    ::waitpid(look, nullptr, 0);
    ::close(seen[0]);
    EXPECT_EQ(pid, user.Pid());
    ASSERT_LT(root.Pid(), user.Pid());
    EXPECT_EQ(FindHolder(device)->pid, root.Pid());
}

} // namespace
} // namespace tvk9
