#include "osc/OscMessage.h"

#include <netinet/in.h>

namespace mt {

OscPeer OscPeer::from(const sockaddr_in& socketAddress) {
    return {socketAddress.sin_addr.s_addr, socketAddress.sin_port};
}

sockaddr_in OscPeer::socketAddress() const {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = address;
    result.sin_port = port;
    return result;
}

std::vector<char> OscBytes(const char* path, lo_message message) {
    std::vector<char> bytes(lo_message_length(message, path));
    std::size_t size = bytes.size();
    if (bytes.empty() || lo_message_serialise(message, path, bytes.data(), &size) == nullptr) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

} // namespace mt
