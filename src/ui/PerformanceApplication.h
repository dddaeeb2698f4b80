#pragma once

#include <QApplication>

namespace mt {

class CoreAccess;

// The program's application object: it lends the core out (CoreAccess) whenever the UI
// thread is certain to be outside it, so controllers reach the sound without waiting for the
// UI thread. Every event the program's own code may handle takes the core back for as long
// as it is handled, a modal box's nested loop included; the core is lent between events and
// while only painting is under way (a window's update timer, its update request, the paint
// events inside them: no paint reads the core).
class PerformanceApplication final : public QApplication {
    Q_OBJECT

public:
    PerformanceApplication(int& argc, char** argv);

    // From here on (UI thread, outside any event); null stops lending, the last access taken
    // back. The access outlives its use here.
    void lendCore(CoreAccess* access);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    CoreAccess* m_access = nullptr;
    int m_busy = 0; // events under way that are not painting
};

} // namespace mt
