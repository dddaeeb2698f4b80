#include "ui/TrackFrame.h"

#include "ui/ClickableLabel.h"
#include "ui/MixBarStyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace mt {
namespace {

template <typename W> W* Named(W* widget, const char* name, int index) {
    widget->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index));
    return widget;
}

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
    lblWavTitle = Named(new QLabel(this), "lblWavTitle", index);

    ComChange = Named(new QPushButton(QStringLiteral("Change!"), this), "ComChange", index);
    ComChange->setToolTip(QStringLiteral("WAVをロード"));
    ComClear = Named(new QPushButton(QStringLiteral("C"), this), "ComClear", index);
    ComClear->setToolTip(QStringLiteral("クリア"));
    ComStart = Named(new QPushButton(QStringLiteral("PLAY"), this), "ComStart", index);
    ComStart->setEnabled(false);
    lblSample = Named(new QLabel(QStringLiteral("s"), this), "lblSample", index);

    CheckLoop = Named(new QCheckBox(QStringLiteral("Loop"), this), "CheckLoop", index);
    CheckDuuk = Named(new QCheckBox(QStringLiteral("Duuk"), this), "CheckDuuk", index);

    volumeCaption = Named(new QLabel(QStringLiteral("Vol"), this), "Label1", index);
    HSVol = Bar(this, "HSVol", index, -70, 0, 0);
    lblVolume = Named(new QLabel(QStringLiteral("0dB"), this), "lblVolume", index);

    panCaption = Named(new QLabel(QStringLiteral("Pan"), this), "Label2", index);
    HSPan = Bar(this, "HSPan", index, -40, 40, 0);
    lblPan = Named(new QLabel(QStringLiteral("0"), this), "lblPan", index);
    ComPanRes = Named(new QPushButton(QStringLiteral("0"), this), "ComPanRes", index);

    HSFre = Bar(this, "HSFre", index, 5, 9000, 4410);
    HSFre->setSingleStep(10);
    HSFre->setPageStep(100);
    ComFreRes = Named(new QPushButton(QStringLiteral("初"), this), "ComFreRes", index);
    lblFrequency = Named(new QLabel(QStringLiteral("44.1kHz"), this), "lblFrequency", index);
    lblFrequency->setToolTip(QStringLiteral("再生速度"));
    fineSpeedCheck = Named(new QCheckBox(QStringLiteral("細"), this), "Check", index);

    ratioBox = Named(new QComboBox(this), "Combo", index);
    ratioBox->addItems(RatioTexts());
    ratioBox->setCurrentIndex(6);
}

} // namespace mt
