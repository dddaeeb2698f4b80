#pragma once

#include <QDialog>

class QProgressBar;
class QPushButton;

namespace mt {

class Performance;

// A collect's progress, in percent of the bytes to copy, with 中止 to cancel it. Not modal: the
// performance goes on meanwhile. Closing it (Esc, the title bar) cancels too. The command that
// opened it closes it once the collect has ended.
class CollectWindow final : public QDialog {
    Q_OBJECT

public:
    CollectWindow(Performance& performance, QWidget* parent);

    // The performer called the collect off here.
    bool cancelled() const { return m_cancelled; }

    QProgressBar* progressBar;
    QPushButton* cancelButton;

private:
    Performance& m_performance;
    bool m_cancelled = false;
};

} // namespace mt
