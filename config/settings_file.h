#pragma once

// Reading a vendor settings file: its first eight lines, each the hex text of a DES cipher
// text under a key of its own; line 1 is a marker that accepts the file, lines 2 to 8 fill
// DeviceSettings. Free of any window: the "Open File" action calls these and then selects
// the radio buttons.

#include "config/frames.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace tvk9 {

inline constexpr std::size_t SettingsLineCount = 8;
// Byte strings, line ends removed; a line the file does not have is empty.
using SettingsLines = std::array<std::string, SettingsLineCount>;

inline constexpr std::string_view SettingsMarker = "vexnoc";

// The text key of each line, line 1 first. Only the first 8 bytes of a key take effect.
inline constexpr std::array<std::string_view, SettingsLineCount> SettingsLineKeys{
    "kdm382pa",      // 1: marker
    "zbqe381620",    // 2: pitch
    ".wpru27k58d",   // 3: roll
    "mv4tqeaxhwlr",  // 4: yaw
    "72vbnqdKWPXM",  // 5: first scaled parameter
    "PLQ7mzz61TB83", // 6: second scaled parameter
    "hqeKWZZ502T9",  // 7: third scaled parameter
    "Rt5wPq417mxne", // 8: orientation
};

// At most this many bytes of a file are read. Real lines are a few dozen bytes; the limit
// keeps a huge or endless file chosen by mistake from hanging the program or filling memory,
// and an error message that quotes a deciphered line from growing without end. Text beyond
// it is treated as if the file ended there.
inline constexpr std::size_t MaxSettingsTextBytes = std::size_t{64} * 1024;

// Cuts text into lines 1 to 8 at CR LF, a lone CR or a lone LF, and stops once the eighth
// line has ended, so that it needs no more input than those lines.
class SettingsLineSplitter {
public:
    // Takes the next bytes and returns how many of them it used: fewer than given only once
    // the eighth line has ended.
    std::size_t Feed(std::string_view bytes);
    bool Complete() const { return complete_; }
    // How many lines have ended so far.
    std::size_t EndedLines() const { return current_; }
    const SettingsLines& Lines() const { return lines_; }

private:
    SettingsLines lines_;
    std::size_t current_ = 0;
    bool afterCr_ = false; // an LF right after a CR belongs to the same line end
    bool complete_ = false;
};

SettingsLines SplitSettingsLines(std::string_view text);

// How a FIFO or pipe is read.
enum class PipeReading {
    // Only as far as its data has arrived, so that nothing waits for a writer that may never
    // write: what the window needs, which must not hang.
    NoWait,
    // To its end (or the eighth line), waiting for the writer as a command-line tool waits
    // for its input.
    Wait,
};

// Lines 1 to 8 of the file at `path`, reading no further than they need and never more than
// MaxSettingsTextBytes. Devices are not opened (opening a serial port would raise its modem
// lines). Throws tvk9::Exception "Cannot open file "PATH". CAUSE" with the system's text for
// the cause.
SettingsLines ReadSettingsLines(const std::string& path, PipeReading pipes = PipeReading::NoWait);

// The same from a descriptor that is already open, such as standard input, waiting for its
// data; `name` stands for the file in messages.
SettingsLines ReadSettingsLines(int fd, const std::string& name);

// The settings file that a command line names, read as a command-line tool reads its input:
// "-" is standard input, and a pipe or FIFO is read to its end, waiting for its writer.
SettingsLines ReadSettingsOperand(const std::string& operand);

enum class LoadResult { Accepted, Refused };

// Refused (nothing changed) unless line 1 deciphers to the marker exactly. Otherwise stores
// lines 8, 2, 3, 4, 5, 6, 7 in that order into `target`, each as soon as it is converted,
// then clamps pitch, roll and yaw to 20. A line that fails throws tvk9::Exception and leaves
// the values stored before it in place, unclamped, and the rest as they were.
LoadResult LoadSettingsLines(const SettingsLines& lines, char decimalSeparator,
                             DeviceSettings& target);

// The radio buttons that loaded values select; a file's orientation counts by bit 0 alone.
RadioChoice FileRadioChoice(const DeviceSettings& loaded);

// What a programmer with no radio button selected yet sends after loading these values:
// selecting each button from code runs its handler, and only Horizont changes anything
// (bits 0 to 3 of the orientation cleared).
DeviceSettings SettingsAfterFreshSelection(const DeviceSettings& loaded);

} // namespace tvk9
