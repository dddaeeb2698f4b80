#include "support/XvfbServer.h"

#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mt::test {

XvfbServer::XvfbServer() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty()) {
        m_failure = QStringLiteral("Xvfb is not installed (Debian package xvfb)");
        return;
    }
    m_binaryFound = true;
    // Numbers well away from the desktop's and the usual test servers', spread by process so
    // that tests running side by side rarely meet; a taken number is skipped.
    for (int attempt = 0; attempt < 40 && !running(); ++attempt) {
        const int number = 300 + (static_cast<int>(getpid()) * 13 + attempt) % 600;
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) {
            start(QFile::encodeName(program), number);
        }
    }
    if (!running() && m_failure.isEmpty()) {
        m_failure = QStringLiteral("Xvfb did not start on any free display");
    }
}

XvfbServer::~XvfbServer() {
    if (running()) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

bool XvfbServer::start(const QByteArray& program, int number) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        m_failure = QStringLiteral("no pipe for Xvfb");
        return false;
    }
    const QByteArray display = ":" + QByteArray::number(number);
    const QByteArray readyFd = QByteArray::number(3);
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(ready[1], 3); // the duplicate is inherited by Xvfb; the originals close on exec
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(program.constData(), "Xvfb", display.constData(), "-displayfd", readyFd.constData(),
              "-screen", "0", "1024x768x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    if (pid < 0) {
        close(ready[0]);
        m_failure = QStringLiteral("fork failed");
        return false;
    }
    // Xvfb writes its display number and a newline once it accepts clients, then closes the
    // pipe; it exits when it cannot. Read to the end: Xvfb dies of a pipe closed between its
    // two writes.
    char answer[16] = {};
    std::size_t got = 0;
    for (;;) {
        pollfd wait{ready[0], POLLIN, 0};
        if (poll(&wait, 1, 15000) != 1) {
            break;
        }
        const ssize_t n = read(ready[0], answer + got, sizeof answer - 1 - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    close(ready[0]);
    if (got == 0 || std::atoi(answer) != number) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return false;
    }
    m_pid = pid;
    m_display = QString::fromLatin1(display);
    return true;
}

} // namespace mt::test
