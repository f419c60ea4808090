#include "serial/line_settings.h"

namespace tvk9 {

std::uint32_t DcbFlags(const LineSettings& s) {
    std::uint32_t flags = dcb::fBinary;
    if (s.ParityCheck)
        flags |= dcb::fParity;
    if (s.Outx_CtsFlow)
        flags |= dcb::fOutxCtsFlow;
    if (s.Outx_DsrFlow)
        flags |= dcb::fOutxDsrFlow;
    switch (s.DtrControl) {
    case TDtrControl::DtrEnable:
        flags |= 1u << dcb::fDtrControlShift;
        break;
    case TDtrControl::DtrHandshake:
        flags |= 2u << dcb::fDtrControlShift;
        break;
    case TDtrControl::DtrDisable:
        break;
    }
    if (s.DsrSensitivity)
        flags |= dcb::fDsrSensitivity;
    if (s.TxContinueOnXoff)
        flags |= dcb::fTXContinueOnXoff;
    if (s.Outx_XonXoffFlow)
        flags |= dcb::fOutX;
    if (s.Inx_XonXoffFlow)
        flags |= dcb::fInX;
    if (s.ReplaceWhenParityError)
        flags |= dcb::fErrorChar;
    if (s.IgnoreNullChar)
        flags |= dcb::fNull;
    switch (s.RtsControl) {
    case TRtsControl::RtsEnable:
        flags |= 1u << dcb::fRtsControlShift;
        break;
    case TRtsControl::RtsHandshake:
        flags |= 2u << dcb::fRtsControlShift;
        break;
    case TRtsControl::RtsTransmissionAvailable:
        flags |= 3u << dcb::fRtsControlShift;
        break;
    case TRtsControl::RtsDisable:
        break;
    }
    return flags;
}

Dcb BuildDcb(const LineSettings& s) {
    Dcb d;
    d.BaudRate = s.BaudRate;
    d.Flags = DcbFlags(s);
    d.XonLim = s.XonLimit;
    d.XoffLim = s.XoffLimit;
    d.ByteSize = static_cast<std::uint8_t>(static_cast<std::uint8_t>(s.ByteSize) + 5);
    d.Parity = static_cast<std::uint8_t>(s.Parity);
    d.StopBits = static_cast<std::uint8_t>(s.StopBits);
    d.XonChar = s.XonChar;
    d.XoffChar = s.XoffChar;
    d.ErrorChar = s.ReplacedChar;
    return d;
}

} // namespace tvk9
