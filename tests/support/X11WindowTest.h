#pragma once

#include "support/UiFixture.h"
#include "support/XvfbServer.h"

#include <QGuiApplication>
#include <QProcess>

namespace mt::test {

// The main window on the private X server of a program whose main() is support/XvfbMain.cpp;
// skipped only where this machine has no Xvfb.
class X11WindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        if (XvfbMissing()) {
            GTEST_SKIP() << "no X server: " << NoXServerReason().toStdString();
        }
        ASSERT_TRUE(NoXServerReason().isEmpty()) << NoXServerReason().toStdString();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        prepare();
    }
    // The test's own set-up, once the server is there.
    virtual void prepare() {}

    // Runs an X client (xdotool, xset, setxkbmap) to its end while the event loop keeps turning.
    static void x11(const QString& program, const QStringList& arguments) {
        QProcess p;
        p.start(program, arguments);
        ASSERT_TRUE(p.waitForStarted(5000)) << program.toStdString() << " is not installed";
        ASSERT_TRUE(QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, 5000));
        ASSERT_EQ(p.exitCode(), 0)
            << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    }
};

} // namespace mt::test
