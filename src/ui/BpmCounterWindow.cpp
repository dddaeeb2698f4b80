#include "ui/BpmCounterWindow.h"

#include "ui/KeyboardPlayer.h"

#include "app/AppContext.h"
#include "platform/Numbers.h"
#include "ui/CdPanel.h"
#include "ui/ControlGeometry.h"
#include "ui/NamedWidget.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace mt {
namespace {

// The window in twips: top, left, height, width, font size.
const std::vector<ControlPlacement>& CounterGeometry() {
    static const std::vector<ControlPlacement> table = {
        {QStringLiteral("Label1"), {120, 120, 255, 3375, 9.0f}},
        {QStringLiteral("Label2"), {540, 120, 300, 495, 9.0f}},
        {QStringLiteral("TxtCdBpm"), {480, 615, 360, 1335, 9.0f}},
        {QStringLiteral("lblCount"), {540, 2055, 300, 1005, 9.0f}},
        {QStringLiteral("Label3"), {540, 3120, 300, 255, 9.0f}},
        {QStringLiteral("ChkEnterCdBPM"), {960, 120, 300, 2415, 9.0f}},
        {QStringLiteral("ComCountOK"), {1440, 615, 435, 1215, 9.0f}},
        {QStringLiteral("ComCountNG"), {1440, 2055, 435, 1215, 9.0f}},
    };
    return table;
}
constexpr int kWindowWidthTwips = 3615;
constexpr int kWindowHeightTwips = 2040;

} // namespace

const char* const BpmCounterWindow::kIdleHint =
    QT_TRANSLATE_NOOP("mt::BpmCounterWindow", "Cで測定開始。Vで測定");
const char* const BpmCounterWindow::kMeasureHint =
    QT_TRANSLATE_NOOP("mt::BpmCounterWindow", "Zでリセット");

BpmCounterWindow::BpmCounterWindow(AppContext& app, QWidget* parent)
    : QWidget(parent, Qt::Window), m_app(app), m_session(app.performance.tapSession()) {
    setObjectName(QStringLiteral("frmCount"));
    setProperty(KeyboardPlayer::kOwnKeys, true); // C, V and Z count here, Escape still panics
    setWindowTitle(tr("カウンター"));
    hintLabel = Named(new QLabel(tr(kIdleHint), this), "Label1");
    bpmCaption = Named(new QLabel(QStringLiteral("♪ ="), this), "Label2");
    cdBpmEdit = Named(new QLineEdit(QStringLiteral("120.000"), this), "TxtCdBpm");
    cdBpmEdit->setEnabled(false);
    cdBpmEdit->setAlignment(Qt::AlignRight);
    // Typed text goes through the key filter; an input method would pass it by.
    cdBpmEdit->setAttribute(Qt::WA_InputMethodEnabled, false);
    barSecondsLabel = Named(new QLabel(QStringLiteral("2.000"), this), "lblCount");
    barSecondsLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    secondsUnit = Named(new QLabel(QStringLiteral("s"), this), "Label3");
    typeBpmCheck = Named(new QCheckBox(tr("BPMを直接入力"), this), "ChkEnterCdBPM");
    counterOkButton = Named(new QPushButton(QStringLiteral("OK"), this), "ComCountOK");
    counterCancelButton = Named(new QPushButton(tr("キャンセル"), this), "ComCountNG");

    const double twipsPerPixel = TwipsPerPixel(this);
    ApplyGeometry(*this, CounterGeometry(), twipsPerPixel);
    setFixedSize(TwipsToPixels(kWindowWidthTwips, twipsPerPixel),
                 TwipsToPixels(kWindowHeightTwips, twipsPerPixel));

    TapSession* session = &m_session;
    connect(typeBpmCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_session.setTyping(on);
        if (on) {
            cdBpmEdit->setFocus();
            cdBpmEdit->setSelection(0, 10);
        }
    });
    connect(cdBpmEdit, &QLineEdit::textChanged, session, &TapSession::type);
    connect(counterOkButton, &QPushButton::clicked, this, [this] {
        m_session.handOver();
        hide(); // the entry box and its tick stay for the next opening
    });
    connect(counterCancelButton, &QPushButton::clicked, this, &QWidget::close);
    connect(session, &TapSession::changed, this, &BpmCounterWindow::showSession);

    // The counter's keys reach the window first, whichever control has the focus.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
}

void BpmCounterWindow::Open() {
    m_session.open();
    show();
    raise();
    activateWindow();
}

bool BpmCounterWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto& key = *static_cast<QKeyEvent*>(event);
    const bool plain =
        (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ==
        Qt::NoModifier;
    if (plain && (key.key() == Qt::Key_C || key.key() == Qt::Key_V || key.key() == Qt::Key_Z)) {
        // A held key repeats; one press is one start, tap or reset.
        if (!key.isAutoRepeat()) {
            keyDown(key.key());
        }
        return true; // the first control to see it has had it; it is never typed
    }
    if (watched == cdBpmEdit && !entryKeyAllowed(key)) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool BpmCounterWindow::entryKeyAllowed(const QKeyEvent& key) const {
    switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        break;
    }
    const QString typed = key.text();
    if (typed.isEmpty()) {
        return true; // moving the cursor, selecting: nothing is typed
    }
    if (typed.size() != 1) {
        return false;
    }
    const QChar c = typed.front();
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
        return true;
    }
    if (c == QLatin1Char('.')) {
        const QString text = cdBpmEdit->text();
        return !text.isEmpty() && !text.contains(QLatin1Char('.'));
    }
    return false;
}

void BpmCounterWindow::keyDown(int qtKey) {
    switch (qtKey) {
    case Qt::Key_C:
        m_session.start();
        break;
    case Qt::Key_V:
        m_session.tap();
        break;
    case Qt::Key_Z:
        m_session.reset();
        break;
    default:
        break;
    }
}

void BpmCounterWindow::showSession() {
    hintLabel->setText(tr(m_session.measuring() ? kMeasureHint : kIdleHint));
    barSecondsLabel->setText(m_session.barText());
    if (cdBpmEdit->text() != m_session.bpmText()) {
        cdBpmEdit->setText(m_session.bpmText());
    }
    cdBpmEdit->setEnabled(m_session.typing());
}

void BpmCounterWindow::closeEvent(QCloseEvent* event) {
    m_session.cancel();
    m_app.showMessage(QStringLiteral("COunt Unloaded!!"));
    QWidget::closeEvent(event);
    if (onUnloaded) {
        onUnloaded();
    }
}

} // namespace mt
