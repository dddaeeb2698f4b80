#pragma once

#include <lo/lo.h>

#include <cstdint>
#include <vector>

struct sockaddr_in;

namespace mt {

// Where a datagram came from or goes to: an IPv4 address and port, both in network order.
struct OscPeer {
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    bool operator==(const OscPeer&) const = default;

    static OscPeer from(const sockaddr_in& socketAddress);
    sockaddr_in socketAddress() const;
};

// `message` at `path` as the bytes of one datagram; empty when liblo cannot write it.
std::vector<char> OscBytes(const char* path, lo_message message);

// One liblo message, freed with its owner.
class OscMessage {
public:
    OscMessage() : m_message(lo_message_new()) {}
    ~OscMessage() { lo_message_free(m_message); }
    OscMessage(const OscMessage&) = delete;
    OscMessage& operator=(const OscMessage&) = delete;

    OscMessage& add(std::int32_t value) {
        lo_message_add_int32(m_message, value);
        return *this;
    }
    OscMessage& add(float value) {
        lo_message_add_float(m_message, value);
        return *this;
    }
    OscMessage& add(const char* text) {
        lo_message_add_string(m_message, text);
        return *this;
    }
    std::vector<char> bytes(const char* path) const { return OscBytes(path, m_message); }
    lo_message get() const { return m_message; }

private:
    lo_message m_message;
};

} // namespace mt
