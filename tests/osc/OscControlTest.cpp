// OSC in the running program: the settings window, a client's press reaching the bank with the
// subscribers told, and the ways a subscription ends.
#include "ui/OscControl.h"
#include "OscClient.h"
#include "osc/OscServer.h"
#include "support/UiFixture.h"
#include "ui/OscWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QSpinBox>

namespace mt {
namespace {

using namespace std::chrono_literals;

const std::function<void()> kPump = [] { QCoreApplication::processEvents(); };

class OscControlTest : public test::MainWindowTest {
protected:
    OscControlTest() { AttachOscWindow(m_window, control); }
    OscControl control{m_app};
};

TEST_F(OscControlTest, TheWindowTurnsItOnTakesThePortAndWarnsOfEveryInterface) {
    choose("mnuOsc");
    auto* window = m_window.findChild<OscWindow*>();
    ASSERT_NE(window, nullptr);
    const auto typePort = [&](int port) {
        QTest::keyClick(window->portSpin, Qt::Key_End);
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(window->portSpin, Qt::Key_Backspace);
        }
        QTest::keyClicks(window->portSpin, QString::number(port));
        QTest::keyClick(window->portSpin, Qt::Key_Return);
    };
    // At the box, where a person clicks.
    const auto click = [](QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    };
    OscServer other{[](const void*, std::size_t, const OscPeer&) {}};
    int error = 0;
    ASSERT_TRUE(other.start(0, false, error));
    typePort(other.port());
    click(window->enabledCheck);
    EXPECT_TRUE(m_app.osc.enabled);
    EXPECT_FALSE(control.listening());
    EXPECT_EQ(window->statusLabel->text(),
              QStringLiteral("受信できません：ポート %1 は他のプログラムが使っています")
                  .arg(other.port()));

    typePort(0); // any free port
    ASSERT_TRUE(control.listening());
    EXPECT_EQ(m_app.osc.port, 0);
    EXPECT_EQ(window->statusLabel->text(),
              QStringLiteral("127.0.0.1:%1 で受信中").arg(control.port()));
    EXPECT_FALSE(window->warningLabel->isVisibleTo(window));

    // Every interface is only ever chosen here with the server off: no test listens beyond
    // this machine.
    click(window->enabledCheck);
    EXPECT_FALSE(control.listening());
    EXPECT_EQ(window->statusLabel->text(), QStringLiteral("停止中"));
    click(window->allInterfacesCheck);
    EXPECT_TRUE(m_app.osc.allInterfaces);
    EXPECT_TRUE(window->warningLabel->isVisibleTo(window));
    EXPECT_FALSE(m_window.menuBar()->findChild<QLabel*>("oscAllInterfacesMark")->isVisible())
        << "the status line's mark only while listening";
}

TEST_F(OscControlTest, APressFromAClientPlaysTheTrackAndSubscribersHearOfIt) {
    addWav("kick.wav", 44100, 2, 44100);
    load(0, "kick.wav");
    control.apply({true, 0, false});
    test::OscClient client(control.port());
    client.send("/marrowtune/subscribe");
    // The whole state first, tracks then the bank.
    const auto title = client.until("/marrowtune/track/1/title", kPump);
    ASSERT_TRUE(title);
    EXPECT_EQ(QString::fromStdString(title->value), bank().track(0).fileName);
    ASSERT_TRUE(client.until("/marrowtune/track/8/state", kPump, "empty"));
    ASSERT_TRUE(client.until("/marrowtune/tempo", kPump, "120"));

    client.send("/marrowtune/track/1/press");
    EXPECT_TRUE(client.until("/marrowtune/track/1/state", kPump, "playing"));
    EXPECT_TRUE(bank().playing(0));
    client.send("/marrowtune/mute", OscMessage().add(1));
    EXPECT_TRUE(client.until("/marrowtune/mute", kPump, "1"));
    EXPECT_TRUE(bank().allTracksMuted());
    client.send("/marrowtune/set/save");
    EXPECT_TRUE(client.until("/marrowtune/error", kPump, "/marrowtune/set/save"))
        << "an untitled set has no file to overwrite";
    client.send("/marrowtune/ping");
    EXPECT_TRUE(client.until("/marrowtune/pong", kPump));

    client.send("/marrowtune/unsubscribe");
    ASSERT_TRUE(QTest::qWaitFor([&] { return control.subscribers().empty(); }));
    bank().stop(0);
    EXPECT_FALSE(client.next(200, kPump)) << "nothing after the unsubscribe";
}

TEST_F(OscControlTest, ASubscriptionEndsWithItsLeaseOrWhenTheClientIsGone) {
    OscControl leased(m_app, 600ms);
    leased.apply({true, 0, false});
    test::OscClient kept(leased.port());
    test::OscClient gone(leased.port());
    kept.send("/marrowtune/subscribe");
    gone.send("/marrowtune/subscribe");
    ASSERT_TRUE(QTest::qWaitFor([&] { return leased.subscribers().size() == 2; }));

    // The closed port answers the next send with "unreachable"; a later one is refused.
    gone.close();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        bank().toggleLoneWolfMode();
        return leased.subscribers().size() == 1;
    }));

    // The other ends with its lease (a renewal's: OscSubscribers).
    EXPECT_TRUE(QTest::qWaitFor([&] { return leased.subscribers().empty(); }));
}

} // namespace
} // namespace mt
