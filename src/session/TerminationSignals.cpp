#include "session/TerminationSignals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace mt {
namespace {

// The socket pair's ends: [0] written by the handler, [1] read in the event loop.
std::array<int, 2> g_wake{-1, -1};

constexpr std::array<int, 2> kCaught{SIGTERM, SIGINT};

extern "C" void WriteSignalNumber(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // A full buffer means an earlier signal is still unread: that one ends the program too.
    [[maybe_unused]] const ssize_t written = write(g_wake[0], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (g_wake[0] >= 0 ||
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_wake.data()) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(g_wake[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
    struct sigaction action {};
    action.sa_handler = &WriteSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_catching = true;
    for (const int number : kCaught) {
        m_catching = sigaction(number, &action, nullptr) == 0 && m_catching;
    }
}

TerminationSignals::~TerminationSignals() {
    if (m_notifier == nullptr) { // another one holds the handlers
        return;
    }
    for (const int number : kCaught) {
        std::signal(number, SIG_DFL);
    }
    close(g_wake[0]);
    close(g_wake[1]);
    g_wake = {-1, -1};
}

void TerminationSignals::readPending() {
    unsigned char byte = 0;
    while (read(g_wake[1], &byte, 1) == 1) {
        emit received(byte);
    }
}

} // namespace mt
