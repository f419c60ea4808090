#pragma once

// A program of the project run as its users run it: arguments and environment in, standard
// output and error on pipes, exit status out; killed if a test leaves it running.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tvk9::testing {

// Long enough never to cut a healthy run short on a loaded machine; only a hang meets it.
inline constexpr std::chrono::milliseconds ChildPatience{10000};

class ChildProcess {
public:
    // `env`: variables set (or replaced) for the child, the rest inherited.
    ChildProcess(const std::string& program, std::vector<std::string> args,
                 const std::map<std::string, std::string>& env = {}) {
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
        std::vector<std::string> vars;
        for (const auto& [name, value] : env) {
            vars.push_back(name + "=" + value);
        }
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string var = *e;
            if (env.count(var.substr(0, var.find('='))) == 0) {
                vars.push_back(var);
            }
        }
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& v : vars) {
            envp.push_back(v.data());
        }
        envp.push_back(nullptr);
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) !=
            0) {
            ADD_FAILURE() << "cannot start " << program;
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        ::close(out_);
        ::close(err_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of standard output (or error), without its newline; empty after `limit` or
    // at the end.
    std::string NextLine(std::chrono::milliseconds limit = ChildPatience, bool error = false) {
        std::string line;
        char c = 0;
        const int from = error ? err_ : out_;
        while (line.size() < 65536) {
            pollfd p{from, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0 || ::read(from, &c, 1) != 1 ||
                c == '\n') {
                break;
            }
            line += c;
        }
        return line;
    }

    // Only while it runs: kill() of -1 would signal every process in reach.
    void Signal(int sig) {
        if (pid_ > 0) {
            ::kill(pid_, sig);
        }
    }

    // Whether the program ends within `limit`; it is then still to be waited for.
    bool EndsWithin(std::chrono::milliseconds limit) const {
        pollfd p{static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)), POLLIN, 0};
        const bool ended = p.fd >= 0 && ::poll(&p, 1, static_cast<int>(limit.count())) == 1;
        ::close(p.fd);
        return ended;
    }

    // The exit status; -1 if the program did not exit by itself.
    int Wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // All of standard error or output that is left; only once the program has ended.
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
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

} // namespace tvk9::testing
