#include "app/form.h"

#include "serial/comm.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tvk9 {

const ControlForm& FormControl(std::string_view name) {
    const auto* found = std::find_if(MainForm.begin(), MainForm.end(),
                                     [name](const ControlForm& c) { return c.name == name; });
    if (found == MainForm.end()) {
        throw std::out_of_range("the form has no control " + std::string(name));
    }
    return *found;
}

Rect InClientArea(const ControlForm& control) {
    Rect place = control.rect;
    for (std::string_view parent = control.parent; !parent.empty();) {
        const ControlForm& outer = FormControl(parent);
        place.left += outer.rect.left;
        place.top += outer.rect.top;
        parent = outer.parent;
    }
    return place;
}

void ApplyStoredSettings(TComm& Comm1) {
    // The form stores InputLen before InBufferSize, so the read length is measured against the
    // initial buffer size.
    Comm1.SetCommName("COM1");
    Comm1.SetInputLen(10);
    Comm1.SetInBufferSize(10);
    Comm1.SetByteSize(TByteSize::_8);
    Comm1.SetParity(TParity::None);
    Comm1.SetStopBits(TStopBits::_1);
    Comm1.SetXonLimit(500);
    Comm1.SetXoffLimit(500);
    Comm1.SetXonChar(0x11);
    Comm1.SetXoffChar(0x13);
    Comm1.SetReplacedChar(0x00);
    Comm1.SetReadIntervalTimeout(100);
    Comm1.SetReadTotalTimeoutMultiplier(0);
    Comm1.SetReadTotalTimeoutConstant(0);
    Comm1.SetWriteTotalTimeoutMultiplier(0);
    Comm1.SetWriteTotalTimeoutConstant(0);
}

} // namespace tvk9
