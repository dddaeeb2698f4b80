#include "session/NsmClient.h"

#include <QByteArray>
#include <QSocketNotifier>

#include <lo/lo.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace mt {
namespace {

// liblo's own LO_TT_IMMEDIATE is a C compound literal.
constexpr lo_timetag kImmediately{0U, 1U};

void LogOscError(int number, const char* message, const char* where) {
    std::fprintf(stderr, "marrowtune: session manager socket: %s (%d%s%s)\n", message, number,
                 where != nullptr ? ", " : "", where != nullptr ? where : "");
}

// The IPv4 address `host` names and the address of this machine that packets to it leave
// from; false, with the reason, when the name does not resolve or no route leads there.
bool LocalAddressFor(const std::string& host, const std::string& port, sockaddr_in& remote,
                     sockaddr_in& local, QString& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (const int status = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); status != 0) {
        error = QStringLiteral("%1:%2: %3")
                    .arg(QString::fromStdString(host), QString::fromStdString(port),
                         QString::fromUtf8(gai_strerror(status)));
        return false;
    }
    std::memcpy(&remote, found->ai_addr, sizeof remote);
    freeaddrinfo(found);
    // A connected datagram socket sends nothing; the kernel only picks the route and with it
    // the local address.
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    socklen_t size = sizeof local;
    const bool ok =
        probe >= 0 &&
        connect(probe, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&local), &size) == 0;
    if (!ok) {
        error = QString::fromUtf8(std::strerror(errno));
    }
    if (probe >= 0) {
        close(probe);
    }
    local.sin_port = 0; // any free port
    return ok;
}

// Puts a UDP socket bound to `local` under liblo's descriptor of `server`. liblo 0.31 binds
// its servers to every interface and has no way to choose one; the descriptor's number stays
// what liblo knows, so it reads from and sends through the new socket from then on.
bool BindServerTo(lo_server server, const sockaddr_in& local, QString& error) {
    const int own = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool ok = own >= 0 &&
                    bind(own, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
                    dup3(own, lo_server_get_socket_fd(server), O_CLOEXEC) >= 0;
    if (!ok) {
        error = QString::fromUtf8(std::strerror(errno));
    }
    if (own >= 0) {
        close(own);
    }
    return ok;
}

// liblo hands its arguments out at OSC's 4-byte alignment, not the union's 8: they are read as
// bytes, never through the union's members.
const char* Chars(const lo_arg* argument) {
    return reinterpret_cast<const char*>(argument);
}

QString Text(const lo_arg* argument) {
    return QString::fromUtf8(Chars(argument));
}

std::int32_t Int(const lo_arg* argument) {
    std::int32_t value = 0;
    std::memcpy(&value, argument, sizeof value);
    return value;
}

} // namespace

struct NsmClient::Osc {
    lo_server server = nullptr;
    lo_address manager = nullptr;
    // What the messages of one read asked for, done once liblo has returned: a slot may run
    // an event loop, and liblo's dispatch must not be entered again from inside itself.
    std::vector<std::function<void()>> pending;

    ~Osc() {
        if (manager != nullptr) {
            lo_address_free(manager);
        }
        if (server != nullptr) {
            lo_server_free(server);
        }
    }
};

NsmClient::NsmClient(QObject* parent) : QObject(parent) {}

NsmClient::~NsmClient() = default;

bool NsmClient::start(const QString& url, const QString& executableName, qint64 pid,
                      QString& error) {
    lo_address parsed = lo_address_new_from_url(url.toUtf8().constData());
    if (parsed == nullptr || lo_address_get_protocol(parsed) != LO_UDP ||
        lo_address_get_hostname(parsed) == nullptr || lo_address_get_port(parsed) == nullptr) {
        if (parsed != nullptr) {
            lo_address_free(parsed);
        }
        error = QStringLiteral("NSM_URL \"%1\" is no osc.udp:// address").arg(url);
        return false;
    }
    const std::string host = lo_address_get_hostname(parsed);
    const std::string port = lo_address_get_port(parsed);
    lo_address_free(parsed);

    sockaddr_in remote{};
    sockaddr_in local{};
    if (!LocalAddressFor(host, port, remote, local, error)) {
        return false;
    }
    auto osc = std::make_unique<Osc>();
    osc->server = lo_server_new_with_proto(nullptr, LO_UDP, &LogOscError);
    if (osc->server == nullptr || !BindServerTo(osc->server, local, error)) {
        if (error.isEmpty()) {
            error = QStringLiteral("no UDP socket could be opened");
        }
        return false;
    }
    std::array<char, INET_ADDRSTRLEN> numeric{};
    inet_ntop(AF_INET, &remote.sin_addr, numeric.data(), numeric.size());
    osc->manager = lo_address_new(numeric.data(), port.c_str());

    lo_server server = osc->server;
    lo_server_add_method(
        server, "/reply", nullptr,
        [](const char*, const char* types, lo_arg** argv, int argc, lo_message, void* self) {
            auto* client = static_cast<NsmClient*>(self);
            if (argc >= 3 && std::strncmp(types, "sss", 3) == 0 &&
                std::strcmp(Chars(argv[0]), "/nsm/server/announce") == 0) {
                client->m_managerName = Text(argv[2]);
                const QString capabilities = argc >= 4 && types[3] == 's' ? Text(argv[3]) : "";
                client->m_managerShowsWindows = capabilities.contains(":optional-gui:");
                std::fprintf(stderr, "marrowtune: under the session manager %s\n",
                             client->m_managerName.toLocal8Bit().constData());
                client->m_osc->pending.emplace_back([client] { emit client->announced(); });
            }
            return 0;
        },
        this);
    lo_server_add_method(
        server, "/error", "sis",
        [](const char*, const char*, lo_arg** argv, int, lo_message, void* self) {
            auto* client = static_cast<NsmClient*>(self);
            const QString message = Text(argv[2]);
            std::fprintf(stderr, "marrowtune: the session manager refused %s (%d): %s\n",
                         Chars(argv[0]), Int(argv[1]), message.toLocal8Bit().constData());
            client->m_osc->pending.emplace_back(
                [client, message] { emit client->refused(message); });
            return 0;
        },
        this);
    lo_server_add_method(
        server, "/nsm/client/open", "sss",
        [](const char*, const char*, lo_arg** argv, int, lo_message, void* self) {
            auto* client = static_cast<NsmClient*>(self);
            client->m_osc->pending.emplace_back(
                [client, path = Text(argv[0]), name = Text(argv[1]), id = Text(argv[2])] {
                    emit client->openRequested(path, name, id);
                });
            return 0;
        },
        this);
    // The requests without arguments, told apart by their path.
    for (const char* path :
         {"/nsm/client/save", "/nsm/client/show_optional_gui", "/nsm/client/hide_optional_gui"}) {
        lo_server_add_method(
            server, path, "",
            [](const char* request, const char*, lo_arg**, int, lo_message, void* self) {
                auto* client = static_cast<NsmClient*>(self);
                client->m_osc->pending.emplace_back([client, request = std::string(request)] {
                    if (request == "/nsm/client/save") {
                        emit client->saveRequested();
                    } else {
                        emit client->windowRequested(request == "/nsm/client/show_optional_gui");
                    }
                });
                return 0;
            },
            this);
    }

    m_osc = std::move(osc);
    m_notifier = new QSocketNotifier(lo_server_get_socket_fd(server), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &NsmClient::readPending);
    lo_send_from(m_osc->manager, server, kImmediately, "/nsm/server/announce", "sssiii",
                 kApplicationName, kCapabilities, executableName.toLocal8Bit().constData(), 1, 2,
                 static_cast<int>(pid));
    send(m_windowShown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden");
    return true;
}

void NsmClient::readPending() {
    while (lo_server_recv_noblock(m_osc->server, 0) > 0) {
    }
    std::vector<std::function<void()>> requests;
    requests.swap(m_osc->pending);
    for (const std::function<void()>& request : requests) {
        request();
    }
}

void NsmClient::send(const char* path) {
    if (m_osc) {
        lo_send_from(m_osc->manager, m_osc->server, kImmediately, path, "");
    }
}

namespace {

const char* RequestPath(SessionRequest request) {
    return request == SessionRequest::Open ? "/nsm/client/open" : "/nsm/client/save";
}

} // namespace

void NsmClient::answer(SessionRequest request, const QString& message) {
    if (m_osc) {
        lo_send_from(m_osc->manager, m_osc->server, kImmediately, "/reply", "ss",
                     RequestPath(request), message.toUtf8().constData());
    }
}

void NsmClient::answer(SessionRequest request, SessionError code, const QString& message) {
    if (m_osc) {
        lo_send_from(m_osc->manager, m_osc->server, kImmediately, "/error", "sis",
                     RequestPath(request), static_cast<int>(code), message.toUtf8().constData());
    }
}

void NsmClient::tellDirty(bool dirty) {
    send(dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean");
}

void NsmClient::tellWindowShown(bool shown) {
    m_windowShown = shown;
    send(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden");
}

} // namespace mt
