#include "ui/TrackFrame.h"

#include "core/TempoMath.h"
#include "core/Track.h"
#include "ui/ClickableLabel.h"
#include "ui/ColourButton.h"
#include "ui/FittingLabel.h"
#include "ui/LevelMeter.h"
#include "ui/MixBarStyle.h"
#include "ui/NamedWidget.h"
#include "ui/WaveformView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>

namespace mt {
namespace {

QScrollBar* Bar(QWidget* parent, const char* name, int index, int min, int max, int value) {
    auto* bar = Named(new QScrollBar(Qt::Horizontal, parent), name, index);
    bar->setRange(min, max);
    bar->setValue(value);
    bar->setStyle(MixBarStyle()); // a handle that reads at a glance
    return bar;
}

} // namespace

const QStringList& TrackFrame::RatioTexts() {
    static const QStringList texts{"/32", "/16", "/8", "/4", "/2",  "基準", "",
                                   "*1",  "*2",  "*4", "*8", "*16", "*32"};
    return texts;
}

TrackFrame::TrackFrame(int index, QWidget* parent) : QFrame(parent), m_index(index) {
    Named(this, "FraChannel", index);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);

    static const char16_t* const kCircled[] = {u"①", u"②", u"③", u"④", u"⑤", u"⑥", u"⑦", u"⑧"};
    trackNumberLabel =
        Named(new ClickableLabel(QString::fromUtf16(kCircled[index]), this), "Label4", index);
    trackNumberLabel->setAlignment(Qt::AlignCenter);
    trackNumberLabel->setAutoFillBackground(true);
    using Fit = FittingLabel::Fit;
    fileTitleLabel = Named(new FittingLabel(QString(), Fit::Elide, this), "lblWavTitle", index);

    changeButton = Named(new QPushButton(QStringLiteral("Change!"), this), "ComChange", index);
    changeButton->setToolTip(tr("WAVをロード"));
    clearButton = Named(new QPushButton(QStringLiteral("C"), this), "ComClear", index);
    clearButton->setToolTip(tr("クリア"));
    startButton = Named(new ColourButton(QStringLiteral("PLAY"), this), "ComStart", index);
    startButton->setEnabled(false);
    playTimeLabel =
        Named(new FittingLabel(QStringLiteral("s"), Fit::Shrink, this), "lblSample", index);

    loopCheck = Named(new QCheckBox(QStringLiteral("Loop"), this), "CheckLoop", index);
    holdCheck = Named(new QCheckBox(QStringLiteral("Duuk"), this), "CheckDuuk", index);

    volumeCaption = Named(new QLabel(QStringLiteral("Vol"), this), "Label1", index);
    volumeBar = Bar(this, "HSVol", index, kMinVolume, kMaxVolume, 0);
    volumeLabel =
        Named(new FittingLabel(QStringLiteral("0dB"), Fit::Shrink, this), "lblVolume", index);

    panCaption = Named(new QLabel(QStringLiteral("Pan"), this), "Label2", index);
    panBar = Bar(this, "HSPan", index, kMinPan, kMaxPan, 0);
    panLabel = Named(new FittingLabel(QStringLiteral("0"), Fit::Shrink, this), "lblPan", index);
    panResetButton = Named(new QPushButton(QStringLiteral("0"), this), "ComPanRes", index);

    speedBar = Bar(this, "HSFre", index, kMinSpeed, kMaxSpeed, kNormalSpeed);
    speedBar->setSingleStep(10);
    speedBar->setPageStep(100);
    speedResetButton = Named(new QPushButton(tr("初"), this), "ComFreRes", index);
    speedLabel = Named(new FittingLabel(QStringLiteral("44.1kHz"), Fit::Shrink, this),
                       "lblFrequency", index);
    speedLabel->setToolTip(tr("再生速度"));
    fineSpeedCheck = Named(new QCheckBox(tr("細"), this), "Check", index);

    ratioBox = Named(new QComboBox(this), "Combo", index);
    ratioBox->addItems(RatioTexts());
    // The reference mark shows in the performer's language; the track keeps RatioTexts()'s.
    ratioBox->setItemText(static_cast<int>(RatioTexts().indexOf(kReferenceMark)), tr("基準"));
    ratioBox->setCurrentIndex(6);

    // The keep-pitch button is narrow: its caption, the pitch once on, shrinks to fit it.
    keepPitchButton = Named(new ColourButton(this), "chkKeepPitch", index);
    keepPitchButton->setCheckable(true);
    // No focus, as the bars: a Space after the click must not switch the mode and render again.
    keepPitchButton->setFocusPolicy(Qt::NoFocus);
    keepPitchButton->setToolTip(tr("速さを変えても音程を保つ（Rubber Band で変換）"));
    pitchLabel =
        Named(new FittingLabel(tr("音程"), Fit::Shrink, keepPitchButton), "lblPitch", index);
    pitchLabel->setAlignment(Qt::AlignCenter);
    pitchLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* caption = new QHBoxLayout(keepPitchButton);
    caption->setContentsMargins(1, 0, 1, 0);
    caption->addWidget(pitchLabel);
    pitchBar = Bar(this, "hsbPitch", index, kMinPitchCents, kMaxPitchCents, 0);
    pitchBar->setSingleStep(100); // a semitone
    pitchBar->setPageStep(100);
    pitchBar->setToolTip(tr("音程（矢印で半音、「細」のときは1セント）"));
    pitchBar->setEnabled(false);

    levelMeter = Named(new LevelMeter(this), "levelMeter", index);
    waveform = Named(new WaveformView(this), "waveform", index);
    for (QWidget* neighbour :
         {static_cast<QWidget*>(trackNumberLabel), static_cast<QWidget*>(fileTitleLabel),
          static_cast<QWidget*>(ratioBox), static_cast<QWidget*>(clearButton),
          static_cast<QWidget*>(fineSpeedCheck)}) {
        neighbour->installEventFilter(this);
    }
    placeViews();
}

bool TrackFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
        placeViews();
    }
    return QFrame::eventFilter(watched, event);
}

void TrackFrame::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    placeViews();
}

void TrackFrame::placeViews() {
    constexpr int kGap = 2;
    const QRect inside = contentsRect().adjusted(kGap, kGap, -kGap, -kGap);
    // The meter: across the top, from the number's left to the title's right, above both.
    const QRect number = trackNumberLabel->geometry();
    const QRect title = fileTitleLabel->geometry();
    const int meterBottom = std::min(number.top(), title.top()) - kGap;
    const QRect meter(QPoint(number.left(), inside.top()),
                      QPoint(title.right(), std::min(meterBottom, inside.top() + 7)));
    levelMeter->setGeometry(meter.isValid() ? meter : QRect());
    // The waveform: beside the ratio box, as tall as it, up to the frame's right edge.
    const QRect ratio = ratioBox->geometry();
    const QRect wave(QPoint(ratio.right() + 1 + 2 * kGap, ratio.top()),
                     QPoint(inside.right(), std::min(ratio.bottom(), inside.bottom())));
    waveform->setGeometry(wave.isValid() ? wave : QRect());
    // The keep-pitch button and the pitch bar: the rest of the rows of "C" and of "細".
    const auto rowEnd = [&inside](const QWidget& left) {
        const QRect row = left.geometry();
        const QRect end(QPoint(row.right() + 1 + kGap, row.top()),
                        QPoint(inside.right(), row.bottom()));
        return end.isValid() ? end : QRect();
    };
    keepPitchButton->setGeometry(rowEnd(*clearButton));
    pitchBar->setGeometry(rowEnd(*fineSpeedCheck));
}

} // namespace mt
