#include "tools/cli/system_texts.h"

namespace tvk9::cli {

const SystemTexts& ThisSystem() {
    static constexpr SystemTexts Linux{
        .ports = R"(  ports [--json]
      Every serial port with its USB details, and whether you can open it now; if not, why
      and what to do. Opens no port.
)",
        .watch = R"(  watch --file F [--new-only] [--json] [--verbose]
      For a production line: waits for sensors to appear, writes F to each new one, checks
      it and prints one line per sensor (port, USB serial number, result, time), until
      Ctrl+C. A port is taken for a sensor when it announces itself within 700 ms of being
      opened. A sensor (port and USB serial number) is written once until it is unplugged;
      one that is plugged in when watch starts counts as new (--new-only: it is left alone
      until it is plugged in again). A port that cannot be opened is tried again when the
      system, its lock file or the program in its way lets go of it, and reported if it
      still cannot be opened 2 s after it appeared (ports there from the start: --verbose).
)",
        .udevRule = R"(  udev-rule [--port P] [--serial-only]
      Prints a udev rule for the sensor's USB adapter (VID:PID; with --serial-only also its
      serial number): the logged-in user may open it (TAG+="uaccess") and ModemManager
      leaves it alone. Install it with tvk9-cli udev-rule | sudo tee
      /etc/udev/rules.d/70-tvk9.rules, then sudo udevadm control --reload and sudo
      udevadm trigger. A port without USB details (a built-in port, a simulator) gives exit status 4.
)",
        .portOption =
            R"(  -p, --port P        the sensor's port: a device path (/dev/ttyUSB0), a name below /dev
                      (ttyUSB0) or a link to one (/dev/serial/by-id/...)
)",
        .fileOption =
            R"(  -f, --file F        a settings file (- reads standard input); decimal numbers in it may
                      use the full stop or your regional decimal separator (LC_ALL,
                      LC_NUMERIC, LANG)
)",
        .serialOnly = R"(      --serial-only   udev-rule: match the adapter's serial number too
)",
        .interrupted =
            R"(  130  interrupted (Ctrl+C, SIGTERM, SIGHUP); the port was closed and its settings put back
)",
        .portField = R"(  port               the port's path
)",
        .noUdev = {},
    };
    return Linux;
}

} // namespace tvk9::cli
