// The main window under a fake session manager on 127.0.0.1: the manager hides and shows it, a
// close only hides it, and its status line names the session and what the program told.
#include "ui/SessionWindow.h"
#include "FakeSessionManager.h"
#include "app/SessionGlue.h"
#include "app/SessionMessages.h"
#include "support/UiFixture.h"
#include "ui/AppShell.h"

#include <QLabel>
#include <QMenuBar>

#include <algorithm>

namespace mt {
namespace {

class SessionWindowTest : public test::MainWindowTest {
protected:
    SessionWindowTest() {
        m_window.shell().endProcess = [this] { ++ended; };
        AttachSessionWindow(glue, m_window);
        EXPECT_TRUE(glue.start(manager.url(), "marrowtune"));
        manager.next("/nsm/server/announce");
        manager.welcome();
        manager.waitUntil([this] { return !glue.client().managerName().isEmpty(); });
        showWindow();
    }

    test::FakeSessionManager manager;
    SessionMessages messages{m_platform.messages};
    SessionGlue glue{m_app.performance, messages};
    int ended = 0;
};

TEST_F(SessionWindowTest, TheManagerShowsAndHidesItAndACloseOnlyHides) {
    manager.send("/nsm/client/open", {m_dir.filePath("session"), "ライブ", "Marrowtune.nA"});
    ASSERT_EQ(manager.next({"/reply", "/error"}).value(0), "/reply");
    EXPECT_TRUE(m_window.sessionLabel->isVisible());
    EXPECT_EQ(m_window.sessionLabel->toolTip(), QStringLiteral("セッション: ライブ"));
    const auto* more = m_window.menuBar()->findChild<QWidget*>("qt_menubar_ext_button");
    EXPECT_TRUE(more == nullptr || !more->isVisible()) << "every menu still in sight";
    messages.show(QStringLiteral("ファイルが\nありません"), kAppTitle, MessageIcon::None);
    const QList<QLabel*> told = m_window.menuBar()->cornerWidget()->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [](const QLabel* label) {
        return label->isVisible() && label->toolTip() == QStringLiteral("ファイルが ありません");
    }));

    for (const char* request : {"/nsm/client/hide_optional_gui", "/nsm/client/show_optional_gui"}) {
        const bool show = QByteArray(request).contains("show");
        manager.send(request);
        EXPECT_FALSE(manager.next(show ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden")
                         .isEmpty());
        QCoreApplication::processEvents(); // the window's change lands through the event loop
        EXPECT_EQ(m_window.isVisible(), show);
    }
    m_window.close();
    EXPECT_FALSE(manager.next("/nsm/client/gui_is_hidden").isEmpty());
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(m_platform.messages.shown.empty()) << "no box, no question";
}

} // namespace
} // namespace mt
