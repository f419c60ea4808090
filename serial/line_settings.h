#pragma once

#include <cstdint>

namespace tvk9 {

enum class TDtrControl : std::uint8_t { DtrEnable = 0, DtrDisable = 1, DtrHandshake = 2 };
enum class TRtsControl : std::uint8_t {
    RtsEnable = 0,
    RtsDisable = 1,
    RtsHandshake = 2,
    RtsTransmissionAvailable = 3,
};
// Five to eight data bits.
enum class TByteSize : std::uint8_t { _5 = 0, _6 = 1, _7 = 2, _8 = 3 };
enum class TParity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
// One, one and a half, two stop bits.
enum class TStopBits : std::uint8_t { _1 = 0, _1_5 = 1, _2 = 2 };

// The line settings as the component's properties hold them.
struct LineSettings {
    std::uint32_t BaudRate = 9600;
    bool ParityCheck = false;
    bool Outx_CtsFlow = false;
    bool Outx_DsrFlow = false;
    TDtrControl DtrControl = TDtrControl::DtrDisable;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = false;
    bool Outx_XonXoffFlow = false;
    bool Inx_XonXoffFlow = false;
    bool ReplaceWhenParityError = false;
    bool IgnoreNullChar = false;
    TRtsControl RtsControl = TRtsControl::RtsDisable;
    std::uint16_t XonLimit = 500;
    std::uint16_t XoffLimit = 500;
    TByteSize ByteSize = TByteSize::_8;
    TParity Parity = TParity::None;
    TStopBits StopBits = TStopBits::_1;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ReplacedChar = 0x00;

    bool operator==(const LineSettings&) const = default;
};

// Read and write time-outs in milliseconds, with the classic serial driver's meaning:
// interval = longest gap between two bytes once the first has come (0: unused);
// total = multiplier x bytes asked + constant (both 0: unused).
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 100;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

inline constexpr std::uint32_t MaxDword = 0xFFFFFFFFu;

// Bits of the device control block's flag word.
namespace dcb {
inline constexpr std::uint32_t fBinary = 0x0001;
inline constexpr std::uint32_t fParity = 0x0002;
inline constexpr std::uint32_t fOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t fOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t fDtrControlShift = 4; // 2 bits: 0 off, 1 on, 2 handshake
inline constexpr std::uint32_t fDsrSensitivity = 0x0040;
inline constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t fOutX = 0x0100;
inline constexpr std::uint32_t fInX = 0x0200;
inline constexpr std::uint32_t fErrorChar = 0x0400;
inline constexpr std::uint32_t fNull = 0x0800;
inline constexpr std::uint32_t fRtsControlShift = 12; // 2 bits: 0 off, 1 on, 2 handshake, 3 toggle
inline constexpr std::uint32_t fAbortOnError = 0x4000;
} // namespace dcb

// The device control block that a port layer applies: the platform-neutral record of the
// line settings, field for field as the classic serial driver takes it.
struct Dcb {
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8; // 5 to 8
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;

    bool operator==(const Dcb&) const = default;
};

// The flag word is built afresh from the properties; nothing read from the port is kept.
std::uint32_t DcbFlags(const LineSettings& settings);
Dcb BuildDcb(const LineSettings& settings);

inline std::uint32_t DtrControlField(std::uint32_t flags) {
    return (flags >> dcb::fDtrControlShift) & 3u;
}
inline std::uint32_t RtsControlField(std::uint32_t flags) {
    return (flags >> dcb::fRtsControlShift) & 3u;
}

} // namespace tvk9
