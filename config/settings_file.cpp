#include "config/settings_file.h"

#include "cipher/codec.h"
#include "common/error.h"
#include "common/open_flags.h"
#include "common/wait_readable.h"
#include "config/numbers.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tvk9 {

std::size_t SettingsLineSplitter::Feed(std::string_view bytes) {
    std::size_t used = 0;
    for (const char c : bytes) {
        if (complete_) {
            break;
        }
        ++used;
        const bool lfAfterCr = afterCr_ && c == '\n';
        afterCr_ = false;
        if (lfAfterCr) {
            continue;
        }
        if (c == '\r' || c == '\n') {
            afterCr_ = c == '\r';
            if (++current_ == SettingsLineCount) {
                complete_ = true;
            }
            continue;
        }
        lines_[current_].push_back(c);
    }
    return used;
}

SettingsLines SplitSettingsLines(std::string_view text) {
    SettingsLineSplitter splitter;
    splitter.Feed(text);
    return splitter.Lines();
}

namespace {

[[noreturn]] void CannotOpen(const std::string& path, int error) {
    throw Exception("Cannot open file \"" + path + "\". " + std::generic_category().message(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { ::close(fd_); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Regular files, FIFOs and directories may be opened; a directory then fails to read with
// the system's own cause. Devices are refused before they are touched.
bool MayOpen(mode_t mode) {
    return S_ISREG(mode) || S_ISFIFO(mode) || S_ISDIR(mode);
}

} // namespace

namespace {

SettingsLines ReadLines(int fd, const std::string& name, PipeReading pipes) {
    SettingsLineSplitter splitter;
    std::array<char, 16384> buffer{};
    std::size_t left = MaxSettingsTextBytes;
    while (!splitter.Complete() && left > 0) {
        const ssize_t got = ::read(fd, buffer.data(), std::min(buffer.size(), left));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && pipes == PipeReading::Wait) {
                WaitUntilReadable(fd);
                continue;
            }
            CannotOpen(name, errno); // EAGAIN: a FIFO whose writer has not finished
        }
        if (got == 0) {
            break;
        }
        const auto count = static_cast<std::size_t>(got);
        splitter.Feed(std::string_view(buffer.data(), count));
        left -= count;
    }
    return splitter.Lines();
}

} // namespace

SettingsLines ReadSettingsLines(const std::string& path, PipeReading pipes) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        CannotOpen(path, errno);
    }
    if (!MayOpen(info.st_mode)) {
        CannotOpen(path, EOPNOTSUPP);
    }
    // Not waiting, a FIFO without a writer opens at once and reads as empty.
    const int wait = pipes == PipeReading::Wait ? 0 : OpenNoWait;
    const int fd = ::open(path.c_str(), O_RDONLY | wait | OpenNotControlling | OpenAsIs);
    if (fd < 0) {
        CannotOpen(path, errno);
    }
    const FileDescriptor file(fd);
    if (::fstat(file.Get(), &info) != 0) {
        CannotOpen(path, errno);
    }
    if (!MayOpen(info.st_mode)) { // replaced between the two looks
        CannotOpen(path, EOPNOTSUPP);
    }
    return ReadLines(file.Get(), path, pipes);
}

SettingsLines ReadSettingsLines(int fd, const std::string& name) {
    return ReadLines(fd, name, PipeReading::Wait);
}

SettingsLines ReadSettingsOperand(const std::string& operand) {
    return operand == "-" ? ReadSettingsLines(STDIN_FILENO, operand)
                          : ReadSettingsLines(operand, PipeReading::Wait);
}

namespace {

std::string LinePlainText(const SettingsLines& lines, std::size_t index) {
    return DecipherHexStr(lines[index], std::string(SettingsLineKeys[index]));
}

} // namespace

LoadResult LoadSettingsLines(const SettingsLines& lines, char decimalSeparator,
                             DeviceSettings& target) {
    if (LinePlainText(lines, 0) != SettingsMarker) {
        return LoadResult::Refused;
    }
    // Each value is stored before the next line is looked at: a failing line leaves the
    // earlier ones in place.
    target.orientation = LowByte(ParseWholeNumber(LinePlainText(lines, 7)));
    const auto axis = [&](std::size_t index) {
        return ScaleAxis(ParseDecimalNumber(LinePlainText(lines, index), decimalSeparator));
    };
    const auto parameter = [&](std::size_t index) {
        return ScaleParameter(ParseDecimalNumber(LinePlainText(lines, index), decimalSeparator));
    };
    target.pitch = axis(1);
    target.roll = axis(2);
    target.yaw = axis(3);
    target.scale1 = parameter(4);
    target.scale2 = parameter(5);
    target.scale3 = parameter(6);

    target.pitch = ClampAxis(target.pitch);
    target.roll = ClampAxis(target.roll);
    target.yaw = ClampAxis(target.yaw);
    return LoadResult::Accepted;
}

RadioChoice FileRadioChoice(const DeviceSettings& loaded) {
    return {FileOrientation(loaded.orientation), SideOf(loaded.pitch), SideOf(loaded.roll),
            SideOf(loaded.yaw)};
}

DeviceSettings SettingsAfterFreshSelection(const DeviceSettings& loaded) {
    const RadioChoice choice = FileRadioChoice(loaded);
    const auto side = [](AxisSide s, std::uint8_t v) {
        return s == AxisSide::Nor ? ChooseNor(v) : ChooseRev(v);
    };
    DeviceSettings sent = loaded;
    sent.orientation = choice.orientation == Orientation::Vertical
                           ? ChooseVertical(loaded.orientation)
                           : ChooseHorizontal(loaded.orientation);
    sent.pitch = side(choice.pitch, loaded.pitch);
    sent.roll = side(choice.roll, loaded.roll);
    sent.yaw = side(choice.yaw, loaded.yaw);
    return sent;
}

} // namespace tvk9
