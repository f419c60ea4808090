#include "tools/cli/cli.h"
#include "tools/cli/system_texts.h"

#include <initializer_list>
#include <string>

namespace tvk9::cli {

namespace {

std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

} // namespace

std::string_view HelpText() {
    const SystemTexts& t = ThisSystem();
    static const std::string text = Joined({
        R"(Usage: tvk9-cli COMMAND [OPTION]...
Reads, writes, backs up and restores a TVK9 motion sensor without the window: one command per
sensor, a clear exit code, output a script can read, and no fixed waits.

Commands:
)",
        t.ports,
        R"(  find [--timeout MS] [--json] [--verbose]
      The ports on which a sensor announces itself, one per line. Every port is opened at
      once and listened to for 700 ms (--timeout), or until each has announced itself or
      failed. Ports that are in use or cannot be opened are skipped; --verbose says why.
  read [--port P] [--json]
      Asks the sensor for its settings: orientation (vertical or horizontal, and the byte),
      pitch, roll and yaw (NOR or REV, and the value) and the three scaled parameters. Values
      of pitch, roll and yaw above 20 show as 20, as the window takes them.
  write [--port P] [--file F] [CHOICE]... [--dry-run] [--json]
      Reads the sensor, applies the settings file F and then each CHOICE (--orientation,
      --pitch, --roll, --yaw) as the window's radio buttons do, writes, and checks the
      sensor's answer against all seven values: "Modify Successful!", "No Sucess!" (the
      sensor kept other values) or "No response!". What no option and no file names is
      written back as the sensor has it: its three scaled parameters stay unless a file
      gives others. --dry-run prints the frame and the changes and writes nothing.
  backup [--port P] -o FILE [--json]
      Writes the sensor's settings as a settings file that the window and tvk9-settings
      read back to the same seven values (-o - writes to standard output). Refused, with
      exit status 1: pitch, roll or yaw above 20 (a file gives at most 20), and an
      orientation whose bit 0 is clear and any of bits 1 to 3 set, such as 2 (loading it,
      the window's Horizontal button clears bits 0 to 3).
  restore [--port P] [--dry-run] [--json] FILE
      The same as write --file FILE.
)",
        t.watch, t.udevRule,
        R"(
Without --port, a command first finds the sensor as find does and uses its port; none, or
more than one, is an error that lists them (exit status 5).

Options:
)",
        t.portOption, t.fileOption,
        R"(  -o, --output FILE   where backup writes
      --orientation vertical|horizontal
                      write: vertical sets bit 0 of the orientation, horizontal clears
                      bits 0 to 3; the one shown already changes nothing
      --pitch nor|rev, --roll nor|rev, --yaw nor|rev
                      write: NOR turns a value v below 10 into 20 - v, REV one above 9
      --timeout MS    how long find listens for announcements (default 700), also
                      where a command finds the sensor itself
  -n, --dry-run       write: show, do not write
      --new-only      watch: leave alone the sensors plugged in when it starts
)",
        t.serialOnly,
        R"(      --json          one JSON document on standard output (watch: one per line)
  -v, --verbose       say which ports were passed over, and why
  -h, --help          this text
      --version       the version
An option's value follows as "--port P" or "--port=P".

The sensor answers within 500 ms. After the port opens, the query goes at once, again when
the sensor announces itself and every 250 ms without an answer, for 500 ms after an
announcement and 1.2 s at most. A write's answer is awaited 500 ms. An answer counts the
moment its last byte is in; a frame that comes in pieces is put together until the wait it
came in ends.

Exit status:
  0    done (find: at least one sensor found)
  1    wrong command line, or a settings file refused ("Data Error!") or unreadable, or a
       file that cannot be written
  2    the sensor kept other values than written ("No Sucess!")
  3    no answer from the sensor ("No response!")
  4    the port cannot be used, or went away during the command (cause and remedy on
       standard error)
  5    no sensor found, or several where one is needed
)",
        t.interrupted,
        R"(Results go to standard output, errors to standard error.

JSON fields:
  every document     command, exit_code, and error when the command failed
)",
        t.portField,
        R"(  usb                null, or {"manufacturer", "product", "serial", "vendor_id",
                     "product_id", "by_id"} (strings, empty when unknown)
  problem            null, or {"kind", "cause", "remedy"}; kind is one of permission,
                     in-use, console, missing, not-serial, other
  settings, before, written, reported
                     {"orientation", "pitch", "roll", "yaw", "scale1", "scale2", "scale3"},
                     numbers 0 to 255
  ports              ports: [{"port", "usb", "usable", "problem"}]
  found              find: [{"port", "usb"}]; silent: [port]; skipped: [{"port", "problem"}]
  read               port, usb, settings (as the window takes them), reported (as sent),
                     choices {"orientation": "vertical"|"horizontal", "pitch", "roll",
                     "yaw": "NOR"|"REV"}
  write, restore     port, usb, file, before, written, frame ("AA 02 ..."), changes
                     [{"field", "from", "to"}], dry_run, and once the frame was sent
                     result ("Modify Successful!", "No Sucess!", "No response!") and
                     reported (the sensor's answer, when one came)
  backup             port, usb, file, settings
  watch              one object per sensor: time (UTC, ISO 8601), port, serial (null
                     when none), result (as write's, or "error" when the port cannot be
                     used: then error says why), written (null when nothing was written),
                     duration_ms, exit_code (as write's)
)"});
    return text;
}

} // namespace tvk9::cli
