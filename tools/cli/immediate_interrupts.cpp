#include "tools/cli/interrupt_watch.h"

#include "common/whole_file.h"
#include "tools/cli/cli.h"

#include <mutex>
#include <unistd.h>

namespace tvk9::cli {

struct ImmediateInterrupts::LastWords {
    std::string out;
    std::string err;
};

namespace {

// The last words of an ImmediateInterrupts while it lives, and whether a stop has come: the
// stop ends the program with them, or the next ImmediateInterrupts does. The lock keeps the
// words alive until then.
std::mutex immediateLock;
const ImmediateInterrupts::LastWords* immediate = nullptr;
bool stopped = false;

[[noreturn]] void EndWith(const ImmediateInterrupts::LastWords& words) {
    WriteAll(STDOUT_FILENO, words.out);
    WriteAll(STDERR_FILENO, words.err);
    ::_exit(ExitInterrupted);
}

} // namespace

void NoteStop() {
    const std::lock_guard hold(immediateLock);
    if (immediate != nullptr) {
        EndWith(*immediate);
    }
    stopped = true;
}

ImmediateInterrupts::ImmediateInterrupts(std::string out, std::string err)
    : words_(std::make_unique<LastWords>(LastWords{std::move(out), std::move(err)})) {
    const std::lock_guard hold(immediateLock);
    if (stopped) {
        EndWith(*words_); // the stop came before the wait and waits in the inbox unread
    }
    immediate = words_.get();
}

ImmediateInterrupts::~ImmediateInterrupts() {
    const std::lock_guard hold(immediateLock);
    immediate = nullptr;
}

} // namespace tvk9::cli
