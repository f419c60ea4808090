#include "config/linux_port_list.h"
#include "tests/support/temp_dir.h"

#include "common/error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tvk9 {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedEnv() { Set(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& v) {
        if (v) {
            ::setenv(name_, v->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream(p) << text;
}

// A sysfs tree shaped like the kernel's: class/tty/NAME links to a device folder, which has a
// `device` link when hardware stands behind it and a `type` attribute for UART ports.
class FakeSysfs {
public:
    explicit FakeSysfs(const fs::path& root) : root_(root) {
        fs::create_directories(root_ / "class" / "tty");
        fs::create_directories(root_ / "devices" / "platform" / "serial8250");
    }
    void Add(const std::string& name, bool hasDevice, std::optional<std::string> type) {
        const fs::path dir = root_ / "devices" / "virtual" / "tty" / name;
        fs::create_directories(dir);
        if (hasDevice) {
            fs::create_directory_symlink(root_ / "devices" / "platform" / "serial8250",
                                         dir / "device");
        }
        if (type) {
            WriteFile(dir / "type", *type);
        }
        fs::create_directory_symlink(dir, root_ / "class" / "tty" / name);
    }

private:
    fs::path root_;
};

TEST(NaturalOrder, NumbersInsideNamesCompareByValue) {
    Names names{"ttyUSB0", "ttyS10", "ttyS2", "ttyACM0", "ttyS0", "ttyS1"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (Names{"ttyACM0", "ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0"}));

    // Runs of digits too long for any integer type still compare by value.
    EXPECT_TRUE(NaturalLess("x99999999999999999999999", "x100000000000000000000000"));
    EXPECT_FALSE(NaturalLess("x100000000000000000000000", "x99999999999999999999999"));
    // A name that is a prefix of another comes first.
    EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
    EXPECT_FALSE(NaturalLess("ttyS0", "ttyS"));
}

TEST(NaturalOrder, IsAStrictOrderEvenWithLeadingZeros) {
    // Equal values written differently are still told apart, one way only, so a sort is stable
    // from call to call.
    EXPECT_NE(NaturalLess("sim01", "sim1"), NaturalLess("sim1", "sim01"));
    EXPECT_FALSE(NaturalLess("sim1", "sim1"));
    EXPECT_TRUE(NaturalLess("sim01", "sim2"));
    EXPECT_TRUE(NaturalLess("sim1a", "sim01b"));
}

TEST(PortList, RealDevicesNeedHardwareAndComeInNaturalOrder) {
    TempDir tmp;
    FakeSysfs sys(tmp.path() / "sys");
    sys.Add("ttyS10", true, "4\n");
    sys.Add("ttyS2", true, "4\n");
    sys.Add("ttyS0", true, "4\n");
    sys.Add("ttyS1", true, "0\n"); // legacy port the kernel made without a UART
    sys.Add("ttyUSB0", true, std::nullopt);
    sys.Add("ttyACM0", true, std::nullopt);
    sys.Add("tty0", false, std::nullopt); // virtual consoles have no device
    sys.Add("console", false, std::nullopt);
    sys.Add("ttyS3", false, "4\n");

    const Names ports = ListSerialPorts(tmp.path() / "sys", tmp.path() / "none");
    EXPECT_EQ(ports,
              (Names{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"}));
    EXPECT_EQ(ListSerialPorts(tmp.path() / "sys", tmp.path() / "none"), ports);
}

TEST(PortList, VirtualPortsAreLinksToCharacterDevicesAfterTheRealOnes) {
    TempDir tmp;
    FakeSysfs sys(tmp.path() / "sys");
    sys.Add("ttyUSB0", true, std::nullopt);
    const fs::path ports = tmp.path() / "ports";
    fs::create_directories(ports);
    // /dev/null stands in for a pseudo-terminal: only its file type is looked at.
    fs::create_symlink("/dev/null", ports / "SIM10");
    fs::create_symlink("/dev/null", ports / "SIM2");
    fs::create_symlink(ports / "missing", ports / "dangling");
    fs::create_symlink(tmp.path(), ports / "to-a-folder");
    WriteFile(ports / "plain-file", "x");
    fs::create_symlink(ports / "plain-file", ports / "to-a-file");
    fs::create_directory(ports / "folder");

    EXPECT_EQ(ListSerialPorts(tmp.path() / "sys", ports),
              (Names{"/dev/ttyUSB0", (ports / "SIM2").string(), (ports / "SIM10").string()}));

    // A link that breaks later drops out at the next call: nothing is remembered.
    fs::remove(ports / "SIM2");
    fs::create_symlink(ports / "missing", ports / "SIM2");
    EXPECT_EQ(ListSerialPorts(tmp.path() / "sys", ports),
              (Names{"/dev/ttyUSB0", (ports / "SIM10").string()}));
}

TEST(PortList, UsbPortsCarryWhatTheKernelKnowsOfTheirDevice) {
    TempDir tmp;
    const fs::path sys = tmp.path() / "sys";
    FakeSysfs(sys).Add("ttyS0", true, "4\n");
    // The tty's device is the converter's port, below its interface, below the USB device.
    const fs::path usb = sys / "devices/pci0000:00/usb1/1-2";
    const fs::path tty = usb / "1-2:1.0/ttyUSB0/tty/ttyUSB0";
    fs::create_directories(tty);
    for (const auto& [file, text] : {std::pair{"idVendor", "0403"},
                                     {"idProduct", "6001"},
                                     {"manufacturer", "FTDI"},
                                     {"product", "FT232R USB UART"},
                                     {"serial", "A10K5JZ1"}}) {
        WriteFile(usb / file, std::string(text) + "\n");
    }
    fs::create_directory_symlink(tty.parent_path().parent_path(), tty / "device");
    fs::create_directory_symlink(tty, sys / "class/tty/ttyUSB0");
    fs::create_directories(tmp / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", tmp / "dev/serial/by-id/usb-FTDI_A10K5JZ1-if00");

    const std::vector<PortInfo> ports = ListSerialPortInfo(sys, tmp / "none", tmp / "dev");
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].usb, UsbDetails{});
    EXPECT_EQ(ports[1].usb, (UsbDetails{"FTDI", "FT232R USB UART", "A10K5JZ1", "0403", "6001",
                                        "/dev/serial/by-id/usb-FTDI_A10K5JZ1-if00"}));
    EXPECT_EQ(Describe(ports[1].usb), "FTDI FT232R USB UART, serial A10K5JZ1, 0403:6001");
    EXPECT_EQ(PortToolTip(ports[1].usb), "FTDI FT232R USB UART, serial A10K5JZ1, 0403:6001\n"
                                         "/dev/serial/by-id/usb-FTDI_A10K5JZ1-if00");
    // A device's strings are its own: one line break in the tooltip, and it is ours.
    const UsbDetails odd{"", "UART\n\x1b[1m", "A\r1", "0403", "6001", "/dev/serial/by-id/x\ny"};
    EXPECT_EQ(PortToolTip(odd),
              "UART\\x0a\\x1b[1m, serial A\\x0d1, 0403:6001\n/dev/serial/by-id/x\\x0ay");
}

TEST(PortList, MissingSourcesGiveNothingAndRelativeFoldersGiveFullPaths) {
    TempDir tmp;
    EXPECT_TRUE(ListSerialPorts(tmp.path() / "no-sys", tmp.path() / "no-ports").empty());

    const fs::path ports = tmp.path() / "ports";
    fs::create_directories(ports);
    fs::create_symlink("/dev/null", ports / "SIM");
    const fs::path oldCwd = fs::current_path();
    fs::current_path(tmp.path());
    const Names names = ListSerialPorts("no-sys", "ports");
    fs::current_path(tmp.path() / "ports");
    // No folder is no folder, not the current one.
    EXPECT_TRUE(ListSerialPorts("no-sys", "").empty());
    fs::current_path(oldCwd);
    EXPECT_EQ(names, (Names{(fs::canonical(tmp.path()) / "ports" / "SIM").string()}));
}

TEST(PortFolder, EnvironmentChoosesTheFolder) {
    {
        ScopedEnv dir("TVK9_PORT_DIR", "/somewhere/ports");
        ScopedEnv xdg("XDG_RUNTIME_DIR", "/run/user/7");
        EXPECT_EQ(PortFolder(), fs::path("/somewhere/ports"));
    }
    {
        ScopedEnv dir("TVK9_PORT_DIR", "");
        ScopedEnv xdg("XDG_RUNTIME_DIR", "/run/user/7");
        EXPECT_EQ(PortFolder(), fs::path("/run/user/7/tvk9-ports"));
    }
    {
        ScopedEnv dir("TVK9_PORT_DIR", std::nullopt);
        ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(PortFolder(), fs::path("/tmp/tvk9-ports-" + std::to_string(getuid())));
    }
}

TEST(PortFolder, ListingWithoutArgumentsReadsTheChosenFolder) {
    TempDir tmp;
    ScopedEnv dir("TVK9_PORT_DIR", tmp.path().string());
    fs::create_symlink("/dev/null", tmp.path() / "SIM");
    const Names ports = ListSerialPorts();
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.back(), (tmp.path() / "SIM").string());
}

TEST(PortFolder, IsCreatedPrivateAndMustBeAFolder) {
    TempDir tmp;
    const fs::path deep = tmp.path() / "a" / "b" / "ports";
    {
        ScopedEnv dir("TVK9_PORT_DIR", deep.string());
        EXPECT_EQ(EnsurePortFolder(), deep);
        // Again: an existing folder is fine.
        EXPECT_EQ(EnsurePortFolder(), deep);
    }
    struct stat st {};
    ASSERT_EQ(::stat(deep.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    WriteFile(tmp.path() / "file", "x");
    EXPECT_THROW(EnsurePortFolder(tmp.path() / "file", false), Exception);
    EXPECT_THROW(EnsurePortFolder(tmp.path() / "file" / "sub", false), Exception);

    // Where the folder has to be our own, a planted link is refused even if it leads to one.
    fs::create_directory_symlink(deep, tmp.path() / "planted");
    EXPECT_NO_THROW(EnsurePortFolder(tmp.path() / "planted", false));
    EXPECT_THROW(EnsurePortFolder(tmp.path() / "planted", true), Exception);

    // And so is someone else's folder (only root can make one for the test).
    if (geteuid() == 0) {
        const fs::path theirs = tmp.path() / "theirs";
        fs::create_directory(theirs);
        ASSERT_EQ(::chown(theirs.c_str(), 12345, 12345), 0);
        EXPECT_NO_THROW(EnsurePortFolder(theirs, false));
        EXPECT_THROW(EnsurePortFolder(theirs, true), Exception);
    }
}

} // namespace
} // namespace tvk9
