// main() of a test program that needs a real X server: it starts one of its own (Xvfb) before
// the application connects to any, and runs on the xcb platform there.
#include "support/XvfbServer.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <optional>

// Qt's xcb integration keeps a D-Bus allocation to the end of the process; not ours.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name LeakSanitizer looks up
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace mt::test {
namespace {

QString g_noServer;
bool g_xvfbMissing = false;

} // namespace

const QString& NoXServerReason() {
    return g_noServer;
}

bool XvfbMissing() {
    return g_xvfbMissing;
}

} // namespace mt::test

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    std::optional<mt::test::XvfbServer> server;
    if (!GTEST_FLAG_GET(list_tests)) {
        server.emplace();
    }
    if (server && server->running()) {
        qputenv("DISPLAY", server->display().toLatin1());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        mt::test::g_noServer = server ? server->failure() : QStringLiteral("listing only");
        mt::test::g_xvfbMissing = server && !server->binaryFound();
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
