#pragma once

#include <string>
#include <utility>
#include <vector>

namespace mt {

// The connections of the program's JACK output ports, kept across a reopen of the stream: a new
// stream is connected to the system's playback ports, and a performer who routed the program
// elsewhere keeps that routing through a format change. Talks to the server through a short-
// lived client of its own; any thread but the audio thread; may block briefly.
class JackConnections {
public:
    // The connections of the output ports of the JACK client `client` now; empty when no JACK
    // server answers or the client has no ports.
    static JackConnections Read(const std::string& client);

    // Connects the ports of `client` exactly as they were read, where a port of that name is
    // there again. Does nothing when nothing was read.
    void restore(const std::string& client) const;

    bool empty() const noexcept { return m_ports.empty(); }

private:
    // Port name without the client's, and the full names of the ports it was connected to.
    std::vector<std::pair<std::string, std::vector<std::string>>> m_ports;
};

} // namespace mt
