#pragma once

#include "osc/OscClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <vector>

namespace mt::test {

// A session manager's end of the OSC protocol on a UDP socket of 127.0.0.1 (a free port): every
// message that comes is kept, in order, as its path and its arguments as text until the test
// takes it, and what the test sends goes to wherever the last message came from. The socket is
// read while the test waits, with Qt's events processed meanwhile.
class FakeSessionManager {
public:
    QString url() const {
        return QStringLiteral("osc.udp://127.0.0.1:%1/").arg(ntohs(m_socket.peer().port));
    }
    // Reads what comes until `done` or `ms` have passed; false when `done` never came true.
    bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer waited;
        waited.start();
        while (!done()) {
            if (waited.elapsed() > ms) {
                return false;
            }
            if (const auto got = m_socket.next(10, [] { QCoreApplication::processEvents(); })) {
                QStringList text{QString::fromStdString(got->path)};
                for (const std::string& argument : got->arguments) {
                    text << QString::fromStdString(argument);
                }
                m_unread.push_back(text);
            }
        }
        return true;
    }
    // The first message not yet taken whose path is one of `paths`, waiting up to `ms` for it;
    // taken now. Empty when none came.
    QStringList next(const QStringList& paths, int ms = 5000) {
        QStringList found;
        waitUntil(
            [&] {
                const auto match = std::ranges::find_if(m_unread, [&](const QStringList& message) {
                    return paths.contains(message[0]);
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
        OscMessage message;
        for (const QString& argument : arguments) {
            message.add(argument.toUtf8().constData());
        }
        m_socket.send(path, message);
    }
    // The answer to the announce, saying whether this manager shows and hides windows.
    void welcome(bool showsWindows = true) {
        send("/reply", {"/nsm/server/announce", "Welcome", "Fake Manager",
                        showsWindows ? ":server-control:optional-gui:" : ":server-control:"});
    }

private:
    OscClient m_socket{0, true};
    std::vector<QStringList> m_unread; // in the order they came
};

} // namespace mt::test
