#pragma once

// tvk9-programmer.exe as a program of the Windows subsystem: its folder, its application title,
// the error box, and its command line, answered on the console or pipe it was started from.
// Called on the user-interface thread.

#include <optional>
#include <string>

namespace tvk9::win32 {

// The folder of the program's own executable file, with a trailing '\'.
std::string ProgramFolder();

// The program file's name cut before its first full stop, every character after the first in
// lower case (in the ANSI code page): TVK9-PROGRAMMER.EXE gives Tvk9-programmer.
std::string ApplicationTitle();

// --help and --version print to the console or pipe the program was started from and give
// exit code 0; anything else on the command line is a message there and exit code 2; nothing
// when the window is to open. No window is opened either way.
std::optional<int> AnswerCommandLine(int argc, char** argv);

} // namespace tvk9::win32
