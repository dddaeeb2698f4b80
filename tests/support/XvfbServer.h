#pragma once

#include <QString>

#include <sys/types.h>

namespace mt::test {

// An X server of the test's own (Xvfb) on a free display number, for behaviour that only a
// real X server has, such as key auto-repeat. Stopped on destruction, and by the kernel when
// the test process dies first.
class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return m_pid > 0; }
    // ":N" while running.
    const QString& display() const { return m_display; }
    // Why it is not running.
    const QString& failure() const { return m_failure; }
    // False when this machine has no Xvfb at all.
    bool binaryFound() const { return m_binaryFound; }

private:
    bool start(const QByteArray& program, int number);

    pid_t m_pid = -1;
    bool m_binaryFound = false;
    QString m_display;
    QString m_failure;
};

// In a test program whose main() is support/XvfbMain.cpp: why it runs without its own X
// server ("" when it has one), and whether that is because this machine has no Xvfb at all,
// the one reason to skip rather than fail.
const QString& NoXServerReason();
bool XvfbMissing();

} // namespace mt::test
