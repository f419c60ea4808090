#include "config/tcomm_link.h"

#include "config/connection_controller.h"

namespace tvk9 {

void BindReceiveData(TComm& comm, ConnectionController& controller) {
    comm.OnReceiveData = [&controller](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        controller.Comm1ReceiveData(std::span<const std::uint8_t>(buffer, length));
    };
}

} // namespace tvk9
