#include "ui/BpmCounterWindow.h"

#include "ui/KeyboardPlayer.h"

#include "app/AppContext.h"
#include "platform/Numbers.h"
#include "ui/CdPanel.h"
#include "ui/ControlGeometry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <charconv>

namespace mt {
namespace {

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The shortest decimal that reads back as the same 32-bit float: 120, 123.457.
QString FloatText(float x) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    return QString::fromLatin1(text, static_cast<qsizetype>(end - text));
}

constexpr const char* kBarPattern = "#,###0.000";
constexpr const char* kBpmPattern = "#,#0.000";

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

const QString BpmCounterWindow::kIdleHint = QStringLiteral("Cで測定開始。Vで測定");
const QString BpmCounterWindow::kMeasureHint = QStringLiteral("Zでリセット");

BpmCounterWindow::BpmCounterWindow(AppContext& app, CdPanel& cdPanel, QWidget* parent)
    : QWidget(parent, Qt::Window), m_app(app), m_cdPanel(cdPanel), m_mmt(app.mmt) {
    setObjectName(QStringLiteral("frmCount"));
    setProperty(KeyboardPlayer::kOwnKeys, true); // C, V and Z count here, Escape still panics
    setWindowTitle(QStringLiteral("カウンター"));
    hintLabel = Named(new QLabel(kIdleHint, this), "Label1");
    bpmCaption = Named(new QLabel(QStringLiteral("♪ ="), this), "Label2");
    TxtCdBpm = Named(new QLineEdit(QStringLiteral("120.000"), this), "TxtCdBpm");
    TxtCdBpm->setEnabled(false);
    TxtCdBpm->setAlignment(Qt::AlignRight);
    // Typed text goes through the key filter; an input method would pass it by.
    TxtCdBpm->setAttribute(Qt::WA_InputMethodEnabled, false);
    lblCount = Named(new QLabel(QStringLiteral("2.000"), this), "lblCount");
    lblCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    secondsUnit = Named(new QLabel(QStringLiteral("s"), this), "Label3");
    ChkEnterCdBPM = Named(new QCheckBox(QStringLiteral("BPMを直接入力"), this), "ChkEnterCdBPM");
    ComCountOK = Named(new QPushButton(QStringLiteral("OK"), this), "ComCountOK");
    ComCountNG = Named(new QPushButton(QStringLiteral("キャンセル"), this), "ComCountNG");

    const double twipsPerPixel = TwipsPerPixel(this);
    ApplyGeometry(*this, CounterGeometry(), twipsPerPixel);
    setFixedSize(TwipsToPixels(kWindowWidthTwips, twipsPerPixel),
                 TwipsToPixels(kWindowHeightTwips, twipsPerPixel));

    connect(ChkEnterCdBPM, &QCheckBox::toggled, this, [this] { ChkEnterCdBPM_Click(); });
    connect(TxtCdBpm, &QLineEdit::textChanged, this, [this] { TxtCdBpm_Change(); });
    connect(ComCountOK, &QPushButton::clicked, this, [this] { ComCountOK_Click(); });
    connect(ComCountNG, &QPushButton::clicked, this, [this] { ComCountNG_Click(); });

    // The counter's keys reach the window first, whichever control has the focus.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
}

BpmCounterWindow::~BpmCounterWindow() {
    m_mmt.StopTapTimer();
}

void BpmCounterWindow::Open() {
    const CdState& cd = m_app.cd.state;
    lblCount->setText(FormatNumber(cd.cdBarSeconds, kBarPattern));
    TxtCdBpm->setText(FloatText(cd.cdBpm));
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
            Form_KeyDown(key.key());
        }
        return true; // the first control to see it has had it; it is never typed
    }
    if (watched == TxtCdBpm && !entryKeyAllowed(key)) {
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
        const QString text = TxtCdBpm->text();
        return !text.isEmpty() && !text.contains(QLatin1Char('.'));
    }
    return false;
}

bool BpmCounterWindow::Form_KeyDown(int qtKey) {
    switch (qtKey) {
    case Qt::Key_C:
        startMeasuring();
        return true;
    case Qt::Key_V:
        if (m_mmt.tapTimerRunning) {
            tap();
        }
        return true;
    case Qt::Key_Z:
        resetMeasuring();
        return true;
    default:
        return false;
    }
}

void BpmCounterWindow::startMeasuring() {
    if (m_mmt.tapTimerRunning) {
        return;
    }
    m_mmt.tapClock = 0;
    m_tempo.start();
    m_mmt.StartTapTimer(kTickMs);
    hintLabel->setText(kMeasureHint); // shown even when the timer failed to start
}

void BpmCounterWindow::resetMeasuring() {
    m_mmt.StopTapTimer();
    m_mmt.tapClock = 0;
    m_tempo.clearTaps();
    hintLabel->setText(kIdleHint);
}

void BpmCounterWindow::tap() {
    if (!m_tempo.tap(m_mmt.tapClock.load())) {
        return; // no line yet: the display keeps what it showed
    }
    showBar(m_tempo.result().seconds);
    if (!TxtCdBpm->isEnabled()) {
        TxtCdBpm->setText(FormatNumber(RoundHalfUp(m_tempo.result().bpm, 3), kBpmPattern));
    }
}

void BpmCounterWindow::showBar(double barSeconds) {
    lblCount->setText(FormatNumber(RoundHalfUp(barSeconds, 3), kBarPattern));
}

void BpmCounterWindow::ChkEnterCdBPM_Click() {
    if (ChkEnterCdBPM->isChecked()) {
        TxtCdBpm->setEnabled(true);
        TxtCdBpm->setFocus();
        TxtCdBpm->setSelection(0, 10);
    } else {
        TxtCdBpm->setEnabled(false);
    }
}

void BpmCounterWindow::TxtCdBpm_Change() {
    if (TxtCdBpm->isEnabled() && m_tempo.enter(TxtCdBpm->text())) {
        showBar(m_tempo.result().seconds);
    }
}

void BpmCounterWindow::ComCountOK_Click() {
    m_mmt.StopTapTimer();
    const CdState& cd = m_app.cd.state;
    const TapTempo::Bar bar = m_tempo.handOver(
        {cd.cdBarSeconds, cd.cdBpm}, CdPanel::kMinBarMs / 1000.0, CdPanel::kMaxBarMs / 1000.0);
    m_cdPanel.takeBar(bar.seconds, bar.bpm);
    m_mmt.tapClock = 0;
    hintLabel->setText(kIdleHint);
    m_tempo.clearResult();
    m_tempo.clearTaps();
    hide(); // the entry box and its tick stay for the next opening
}

void BpmCounterWindow::ComCountNG_Click() {
    close();
}

void BpmCounterWindow::closeEvent(QCloseEvent* event) {
    Form_Unload();
    QWidget::closeEvent(event);
    if (onUnloaded) {
        onUnloaded();
    }
}

void BpmCounterWindow::Form_Unload() {
    m_mmt.StopTapTimer();
    hintLabel->setText(kIdleHint);
    m_mmt.tapClock = 0;
    m_tempo.clearResult();
    m_tempo.clearTaps();
    m_app.showMessage(QStringLiteral("COunt Unloaded!!"));
}

} // namespace mt
