#include "serial/line_settings.h"
#include "serial/linux_port.h"
#include "serial/linux_termios.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

namespace tvk9 {
namespace {

TEST(DcbFlags, InitialSettingsGiveBinaryOnlyWithDtrAndRtsOff) {
    const LineSettings initial;
    EXPECT_EQ(DcbFlags(initial), 0x0001u);
    EXPECT_EQ(DtrControlField(DcbFlags(initial)), 0u);
    EXPECT_EQ(RtsControlField(DcbFlags(initial)), 0u);
}

TEST(DcbFlags, EachBooleanSetsItsOwnBit) {
    struct Case {
        bool LineSettings::*field;
        std::uint32_t bit;
    };
    const Case cases[] = {
        {&LineSettings::ParityCheck, 0x0002},      {&LineSettings::Outx_CtsFlow, 0x0004},
        {&LineSettings::Outx_DsrFlow, 0x0008},     {&LineSettings::DsrSensitivity, 0x0040},
        {&LineSettings::TxContinueOnXoff, 0x0080}, {&LineSettings::Outx_XonXoffFlow, 0x0100},
        {&LineSettings::Inx_XonXoffFlow, 0x0200},  {&LineSettings::ReplaceWhenParityError, 0x0400},
        {&LineSettings::IgnoreNullChar, 0x0800},
    };
    std::uint32_t all = 0x0001;
    LineSettings every;
    for (const Case& c : cases) {
        LineSettings s;
        s.*c.field = true;
        EXPECT_EQ(DcbFlags(s), 0x0001u | c.bit) << std::hex << c.bit;
        every.*c.field = true;
        all |= c.bit;
    }
    EXPECT_EQ(DcbFlags(every), all);
    EXPECT_EQ(DcbFlags(every) & dcb::fAbortOnError, 0u);
}

TEST(DcbFlags, DtrAndRtsControlFields) {
    LineSettings s;
    s.DtrControl = TDtrControl::DtrEnable;
    EXPECT_EQ(DcbFlags(s), 0x0011u);
    s.DtrControl = TDtrControl::DtrHandshake;
    EXPECT_EQ(DcbFlags(s), 0x0021u);
    s.DtrControl = TDtrControl::DtrDisable;
    s.RtsControl = TRtsControl::RtsEnable;
    EXPECT_EQ(DcbFlags(s), 0x1001u);
    s.RtsControl = TRtsControl::RtsHandshake;
    EXPECT_EQ(DcbFlags(s), 0x2001u);
    s.RtsControl = TRtsControl::RtsTransmissionAvailable;
    EXPECT_EQ(DcbFlags(s), 0x3001u);
    EXPECT_EQ(RtsControlField(DcbFlags(s)), 3u);
}

TEST(BuildDcb, CopiesFieldsAndCodesTheEnumerations) {
    LineSettings s;
    Dcb d = BuildDcb(s);
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, 0);
    EXPECT_EQ(d.StopBits, 0);
    EXPECT_EQ(d.XonLim, 500);
    EXPECT_EQ(d.XoffLim, 500);
    EXPECT_EQ(d.XonChar, 0x11);
    EXPECT_EQ(d.XoffChar, 0x13);
    EXPECT_EQ(d.ErrorChar, 0);

    s.BaudRate = 250000;
    s.ByteSize = TByteSize::_5;
    s.Parity = TParity::Space;
    s.StopBits = TStopBits::_2;
    s.XonLimit = 7;
    s.XoffLimit = 9;
    s.XonChar = 'Q';
    s.XoffChar = 'S';
    s.ReplacedChar = '?';
    d = BuildDcb(s);
    EXPECT_EQ(d.BaudRate, 250000u);
    EXPECT_EQ(d.ByteSize, 5);
    EXPECT_EQ(d.Parity, 4);
    EXPECT_EQ(d.StopBits, 2);
    EXPECT_EQ(d.XonLim, 7);
    EXPECT_EQ(d.XoffLim, 9);
    EXPECT_EQ(d.XonChar, 'Q');
    EXPECT_EQ(d.XoffChar, 'S');
    EXPECT_EQ(d.ErrorChar, '?');
}

using namespace linux_tty;

TEST(Termios, DataParityAndStopBits) {
    EXPECT_EQ(DataBitsFlag(5), static_cast<tcflag_t>(CS5));
    EXPECT_EQ(DataBitsFlag(6), static_cast<tcflag_t>(CS6));
    EXPECT_EQ(DataBitsFlag(7), static_cast<tcflag_t>(CS7));
    EXPECT_EQ(DataBitsFlag(8), static_cast<tcflag_t>(CS8));

    EXPECT_EQ(ParityFlags(0), 0u);
    EXPECT_EQ(ParityFlags(1), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_EQ(ParityFlags(2), static_cast<tcflag_t>(PARENB));
    EXPECT_EQ(ParityFlags(3), static_cast<tcflag_t>(PARENB | CMSPAR | PARODD));
    EXPECT_EQ(ParityFlags(4), static_cast<tcflag_t>(PARENB | CMSPAR));

    EXPECT_EQ(StopBitsFlag(0), 0u);
    EXPECT_EQ(StopBitsFlag(1), static_cast<tcflag_t>(CSTOPB));
    EXPECT_EQ(StopBitsFlag(2), static_cast<tcflag_t>(CSTOPB));
}

TEST(Termios, FlowControl) {
    EXPECT_EQ(FlowControlFlags(dcb::fBinary), FlowFlags{});
    EXPECT_EQ(FlowControlFlags(dcb::fOutxCtsFlow).cflag, static_cast<tcflag_t>(CRTSCTS));
    EXPECT_EQ(FlowControlFlags(2u << dcb::fRtsControlShift).cflag, static_cast<tcflag_t>(CRTSCTS));
    // RTS merely on is no flow control.
    EXPECT_EQ(FlowControlFlags(1u << dcb::fRtsControlShift).cflag, 0u);
    EXPECT_EQ(FlowControlFlags(dcb::fOutX).iflag, static_cast<tcflag_t>(IXON));
    EXPECT_EQ(FlowControlFlags(dcb::fInX).iflag, static_cast<tcflag_t>(IXOFF));
    EXPECT_EQ(FlowControlFlags(dcb::fParity).iflag, static_cast<tcflag_t>(INPCK));
    // DSR flow has no Linux counterpart and must not switch anything else on.
    EXPECT_EQ(FlowControlFlags(dcb::fOutxDsrFlow | dcb::fDsrSensitivity), FlowFlags{});
}

TEST(Termios, ModemLinesStayOffUnlessAskedFor) {
    EXPECT_EQ(ModemLinesFor(dcb::fBinary), (ModemLines{0, TIOCM_DTR | TIOCM_RTS}));
    EXPECT_EQ(ModemLinesFor(1u << dcb::fDtrControlShift), (ModemLines{TIOCM_DTR, TIOCM_RTS}));
    EXPECT_EQ(ModemLinesFor(2u << dcb::fDtrControlShift), (ModemLines{TIOCM_DTR, TIOCM_RTS}));
    EXPECT_EQ(ModemLinesFor(1u << dcb::fRtsControlShift), (ModemLines{TIOCM_RTS, TIOCM_DTR}));
    EXPECT_EQ(ModemLinesFor(2u << dcb::fRtsControlShift), (ModemLines{TIOCM_RTS, TIOCM_DTR}));
    EXPECT_EQ(ModemLinesFor(3u << dcb::fRtsControlShift), (ModemLines{0, TIOCM_DTR | TIOCM_RTS}));
}

TEST(Termios, RawModeWithTheDeviceLinkSettings) {
    termios cooked{};
    cooked.c_lflag = ICANON | ECHO | ISIG;
    cooked.c_iflag = ICRNL | IXON | IGNPAR;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_cflag = CS7 | PARENB | HUPCL | CRTSCTS;
    LineSettings s; // 9600 8N1, no flow control
    const termios t = TermiosFor(cooked, BuildDcb(s));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IGNPAR), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | HUPCL | CRTSCTS | CSTOPB), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);

    s.BaudRate = 115200;
    s.ByteSize = TByteSize::_7;
    s.Parity = TParity::Odd;
    s.StopBits = TStopBits::_2;
    s.Inx_XonXoffFlow = true;
    const termios u = TermiosFor(t, BuildDcb(s));
    EXPECT_EQ(u.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(u.c_cflag & (PARENB | PARODD | CSTOPB),
              static_cast<tcflag_t>(PARENB | PARODD | CSTOPB));
    EXPECT_EQ(u.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXOFF));
    EXPECT_EQ(cfgetospeed(&u), static_cast<speed_t>(B115200));
}

TEST(LinuxPort, DevicePathOfACommName) {
    EXPECT_EQ(DevicePath("COM3"), "/dev/COM3");
    EXPECT_EQ(DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePath("pts/4"), "/dev/pts/4");
    EXPECT_EQ(DevicePath("/tmp/tvk9-ports-0/sim"), "/tmp/tvk9-ports-0/sim");
}

TEST(LinuxPort, LineCountersBecomeErrorFlagsAndEvents) {
    const LineCounters before{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(ErrorFlagsBetween(before, before), 0u);
    EXPECT_EQ(EventsBetween(before, before), 0u);

    LineCounters after = before;
    after.frame++;
    after.brk++;
    EXPECT_EQ(ErrorFlagsBetween(before, after), CeFrame | CeBreak);
    EXPECT_EQ(EventsBetween(before, after), EvErr);

    after = before;
    after.overrun++;
    after.parity++;
    after.buf_overrun++;
    EXPECT_EQ(ErrorFlagsBetween(before, after), CeOverrun | CeRxParity | CeRxOver);

    after = before;
    after.dcd += 2;
    EXPECT_EQ(EventsBetween(before, after), EvRlsd);
    after.rng++;
    EXPECT_EQ(EventsBetween(before, after), EvRlsd | EvRing);
    EXPECT_EQ(ErrorFlagsBetween(before, after), 0u);
}

} // namespace
} // namespace tvk9
