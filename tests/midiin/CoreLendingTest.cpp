// When the program's application lends the core out: between events and while only painting.
#include "core/CoreAccess.h"
#include "ui/PerformanceApplication.h"

#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace mt {
namespace {

// Calls `onPaint` from its paint event and `onEvent` from every user event.
class Probe final : public QWidget {
public:
    std::function<void()> onPaint = [] {};
    std::function<void()> onEvent = [] {};

protected:
    void paintEvent(QPaintEvent* /*event*/) override { onPaint(); }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            onEvent();
            return true;
        }
        return QWidget::event(event);
    }
};

TEST(CoreLending, LentBetweenEventsAndWhilePaintingTakenBackForAnythingElse) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int argc = 1;
    std::string name = "core_lending";
    char* argv[] = {name.data(), nullptr};
    PerformanceApplication app(argc, argv);
    CoreAccess core;
    std::vector<std::string> seen;
    const auto note = [&](const char* what) {
        seen.push_back(std::string(what) + (core.lent() ? " lent" : " held"));
    };

    Probe probe;
    probe.resize(50, 50);
    probe.onEvent = [&] { note("event"); };
    bool nested = false;
    probe.onPaint = [&] {
        note(nested ? "nested paint" : "paint");
        if (!nested) {
            QEvent user(QEvent::User); // sent from inside the paint
            QCoreApplication::sendEvent(&probe, &user);
            note("paint after the event");
        }
    };
    probe.show();
    QCoreApplication::processEvents(); // the first paint, before any lending

    app.lendCore(&core);
    EXPECT_TRUE(core.lent());
    seen.clear();
    QTimer::singleShot(0, &probe, [&] {
        note("timer");
        probe.update(); // painted by the loop, at its top level
    });
    QTimer::singleShot(50, &probe, [&] {
        // A modal box's loop inside a handler: its paints run with the core held.
        nested = true;
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        probe.update();
        loop.exec();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    EXPECT_TRUE(core.lent());
    app.lendCore(nullptr);
    EXPECT_FALSE(core.lent());

    EXPECT_EQ(seen, (std::vector<std::string>{"timer held", "paint lent", "event held",
                                              "paint after the event lent", "nested paint held"}));
}

} // namespace
} // namespace mt
