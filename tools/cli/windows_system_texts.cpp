#include "tools/cli/system_texts.h"

namespace tvk9::cli {

const SystemTexts& ThisSystem() {
    static constexpr SystemTexts Windows{
        .ports = R"(  ports [--json]
      Every COM port that the drivers registered, and whether you can open it now; if not,
      why and what to do. Windows tells whether another program has a port only to a
      program that opens it: each port is opened and closed again at once.
)",
        .watch = R"(  watch --file F [--new-only] [--json] [--verbose]
      For a production line: waits for sensors to appear, writes F to each new one, checks
      it and prints one line per sensor (port, result, time), until Ctrl+C. A port is taken
      for a sensor when it announces itself within 700 ms of being opened. A sensor is
      written once until it is unplugged; one that is plugged in when watch starts counts
      as new (--new-only: it is left alone until it is plugged in again). A port that
      cannot be opened is tried again 2 s after it appeared and whenever COM ports come or
      go (Windows does not tell when another program lets go of one), and reported if it
      still cannot be opened after those 2 s (ports there from the start: --verbose).
)",
        .udevRule = R"(  udev-rule
      Linux only: on Windows every user may open a COM port, and there is no rule to
      install (exit status 1).
)",
        .portOption = R"(  -p, --port P        the sensor's COM port (COM3)
)",
        .fileOption =
            R"(  -f, --file F        a settings file (- reads standard input); decimal numbers in it may
                      use the full stop or the decimal separator of your Region settings
)",
        .serialOnly = {},
        .interrupted =
            R"(  130  interrupted (Ctrl+C, Ctrl+Break, the console window closed); the port was closed
       and its settings put back
)",
        .portField = R"(  port               the port's name (COM3)
)",
        .noUdev = "udev-rule is for Linux: on Windows every user may open a COM port, so there "
                  "is no rule to install",
    };
    return Windows;
}

} // namespace tvk9::cli
