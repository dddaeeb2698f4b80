#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <lo/lo.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace mt::test {

// A session manager's end of the OSC protocol on a UDP socket of 127.0.0.1 (a free port): every
// message that comes is kept, in order, as its path and its arguments as text until the test
// takes it, and what the test sends goes to wherever the last message came from. The socket is
// read while the test waits, with Qt's events processed meanwhile.
class FakeSessionManager {
public:
    FakeSessionManager() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            std::abort();
        }
        m_port = ntohs(address.sin_port);
    }
    ~FakeSessionManager() { close(m_socket); }
    FakeSessionManager(const FakeSessionManager&) = delete;
    FakeSessionManager& operator=(const FakeSessionManager&) = delete;

    QString url() const { return QStringLiteral("osc.udp://127.0.0.1:%1/").arg(m_port); }

    // Reads what comes, with Qt's events processed meanwhile, until `done` or `ms` have passed;
    // false when `done` never came true.
    bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer waited;
        waited.start();
        while (!done()) {
            if (waited.elapsed() > ms) {
                return false;
            }
            read(10);
        }
        return true;
    }

    // The first message not yet taken whose path is one of `paths`, waiting up to `ms` for it;
    // taken now. Empty when none came.
    QStringList next(const QStringList& paths, int ms = 5000) {
        QStringList found;
        waitUntil(
            [&] {
                const auto match =
                    std::find_if(m_unread.begin(), m_unread.end(), [&](const QStringList& message) {
                        return paths.contains(message.first());
                    });
                if (match != m_unread.end()) {
                    found = *match;
                    m_unread.erase(match);
                }
                return !found.isEmpty();
            },
            ms);
        return found;
    }
    QStringList next(const QString& path, int ms = 5000) { return next(QStringList{path}, ms); }

    // A message to the program with string arguments only, as every request of a manager is.
    void send(const char* path, const QStringList& arguments = {}) {
        lo_message message = lo_message_new();
        for (const QString& argument : arguments) {
            lo_message_add_string(message, argument.toUtf8().constData());
        }
        std::size_t size = 0;
        void* bytes = lo_message_serialise(message, path, nullptr, &size);
        sendto(m_socket, bytes, size, 0, reinterpret_cast<const sockaddr*>(&m_program),
               sizeof m_program);
        std::free(bytes);
        lo_message_free(message);
    }

    // The answer to the announce, saying whether this manager shows and hides windows.
    void welcome(bool showsWindows = true) {
        send("/reply", {"/nsm/server/announce", "Welcome", "Fake Manager",
                        showsWindows ? ":server-control:optional-gui:" : ":server-control:"});
    }

private:
    void read(int ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
        pollfd ready{m_socket, POLLIN, 0};
        while (poll(&ready, 1, ms) == 1) {
            ms = 0;
            std::vector<char> bytes(65536);
            socklen_t size = sizeof m_program;
            const ssize_t length = recvfrom(m_socket, bytes.data(), bytes.size(), 0,
                                            reinterpret_cast<sockaddr*>(&m_program), &size);
            int result = 0;
            lo_message message =
                length > 0 ? lo_message_deserialise(bytes.data(), length, &result) : nullptr;
            if (message == nullptr) {
                m_unread.push_back({"<not OSC>"});
                continue;
            }
            QStringList text{QString::fromUtf8(bytes.data())}; // the path leads the packet
            const char* types = lo_message_get_types(message);
            lo_arg** arguments = lo_message_get_argv(message);
            for (int i = 0; i < lo_message_get_argc(message); ++i) {
                // At OSC's 4-byte alignment, not the union's: read as bytes.
                const auto* raw = reinterpret_cast<const char*>(arguments[i]);
                std::int32_t number = 0;
                std::memcpy(&number, raw, sizeof number);
                text << (types[i] == 'i'   ? QString::number(number)
                         : types[i] == 's' ? QString::fromUtf8(raw)
                                           : QStringLiteral("<%1>").arg(types[i]));
            }
            lo_message_free(message);
            m_unread.push_back(text);
        }
    }

    int m_socket = -1;
    int m_port = 0;
    std::vector<QStringList> m_unread; // in the order they came
    sockaddr_in m_program{};
};

} // namespace mt::test
