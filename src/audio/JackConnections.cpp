#include "audio/JackConnections.h"

#include "platform/JackProbe.h"

#include <jack/jack.h>

#include <algorithm>

namespace mt {
namespace {

// A client of our own for the length of one look; null when no server answers.
class JackLook {
public:
    JackLook() {
        if (ProbeJack() != JackAnswer::Runs) {
            return; // nothing to keep, or libjack would never come back
        }
        jack_status_t status;
        m_client = jack_client_open("marrowtune-routing", JackNoStartServer, &status);
    }
    ~JackLook() {
        if (m_client != nullptr) {
            jack_client_close(m_client);
        }
    }
    JackLook(const JackLook&) = delete;
    JackLook& operator=(const JackLook&) = delete;

    jack_client_t* client() const { return m_client; }

    // The full names of the ports `port` is connected to.
    std::vector<std::string> connections(const std::string& port) const {
        std::vector<std::string> names;
        jack_port_t* p = jack_port_by_name(m_client, port.c_str());
        if (p == nullptr) {
            return names;
        }
        if (const char** list = jack_port_get_all_connections(m_client, p)) {
            for (const char** n = list; *n != nullptr; ++n) {
                names.emplace_back(*n);
            }
            jack_free(static_cast<void*>(list));
        }
        return names;
    }

private:
    jack_client_t* m_client = nullptr;
};

} // namespace

JackConnections JackConnections::Read(const std::string& client) {
    JackConnections read;
    const JackLook look;
    if (look.client() == nullptr) {
        return read;
    }
    const std::string prefix = client + ":";
    if (const char** ports =
            jack_get_ports(look.client(), ("^" + prefix).c_str(), nullptr, JackPortIsOutput)) {
        for (const char** p = ports; *p != nullptr; ++p) {
            read.m_ports.emplace_back(std::string(*p).substr(prefix.size()), look.connections(*p));
        }
        jack_free(static_cast<void*>(ports));
    }
    return read;
}

void JackConnections::restore(const std::string& client) const {
    if (m_ports.empty()) {
        return;
    }
    const JackLook look;
    if (look.client() == nullptr) {
        return;
    }
    for (const auto& [shortName, wanted] : m_ports) {
        std::string port = client;
        port.append(":").append(shortName);
        const std::vector<std::string> now = look.connections(port);
        for (const std::string& other : now) {
            if (std::find(wanted.begin(), wanted.end(), other) == wanted.end()) {
                jack_disconnect(look.client(), port.c_str(), other.c_str());
            }
        }
        for (const std::string& other : wanted) {
            if (std::find(now.begin(), now.end(), other) == now.end()) {
                jack_connect(look.client(), port.c_str(), other.c_str());
            }
        }
    }
}

} // namespace mt
