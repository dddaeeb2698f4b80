#include "ui/ControlGeometry.h"

#include <QScreen>
#include <QWidget>

#include <cmath>

namespace mt {

double TwipsPerPixel(const QWidget* widget) {
    const QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
    const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0.0 ? dpi : 96.0);
}

int TwipsToPixels(int twips, double twipsPerPixel) {
    return static_cast<int>(std::lround(twips / twipsPerPixel));
}

void ApplyGeometry(QWidget& root, const std::vector<ControlPlacement>& table,
                   double twipsPerPixel) {
    for (const ControlPlacement& row : table) {
        auto* control = root.findChild<QWidget*>(row.name);
        if (control == nullptr) {
            continue;
        }
        const TwipsRect& r = row.rect;
        control->setGeometry(
            TwipsToPixels(r.left, twipsPerPixel), TwipsToPixels(r.top, twipsPerPixel),
            TwipsToPixels(r.width, twipsPerPixel), TwipsToPixels(r.height, twipsPerPixel));
        if (r.fontSize > 0.0f) {
            QFont font = control->font();
            font.setPointSizeF(r.fontSize);
            control->setFont(font);
        }
    }
}

namespace {

// A track frame's controls relative to the frame, in layout-file order after the frame. The
// labels at the right end reach to 2070 of the frame's 2100, room for "-70dB" and "-40" at
// 9 points.
struct TrackControlRow {
    const char* name;
    TwipsRect rect;
};
constexpr TrackControlRow kTrackControls[] = {
    {"Label4", {180, 90, 330, 330, 12.0f}},       {"ComChange", {570, 90, 330, 1050, 9.0f}},
    {"ComClear", {570, 1200, 330, 390, 9.0f}},    {"lblWavTitle", {240, 480, 255, 1590, 9.0f}},
    {"HSFre", {2355, 90, 240, 1470, 0.0f}},       {"HSPan", {2055, 480, 240, 960, 0.0f}},
    {"HSVol", {1755, 480, 240, 960, 0.0f}},       {"lblSample", {1035, 1200, 255, 870, 9.0f}},
    {"Combo", {2955, 90, 300, 1200, 9.0f}},       {"ComStart", {960, 90, 420, 1050, 10.0f}},
    {"Label1", {1755, 90, 240, 390, 9.0f}},       {"Label2", {2055, 90, 240, 390, 9.0f}},
    {"lblFrequency", {2655, 90, 255, 900, 9.0f}}, {"ComFreRes", {2355, 1590, 255, 450, 9.0f}},
    {"Check", {2655, 1050, 255, 600, 9.0f}},      {"lblVolume", {1755, 1470, 240, 600, 9.0f}},
    {"lblPan", {2055, 1470, 240, 330, 9.0f}},     {"ComPanRes", {2055, 1800, 255, 240, 9.0f}},
    {"CheckDuuk", {1440, 990, 255, 900, 9.0f}},   {"CheckLoop", {1440, 90, 255, 840, 9.0f}},
};

constexpr int kFrameWidth = 2100;
constexpr int kFrameHeight = 3330;

std::vector<ControlPlacement> NormalLayout() {
    std::vector<ControlPlacement> t;
    auto add = [&t](const QString& name, TwipsRect r) { t.push_back({name, r}); };
    add("Dir2", {420, 120, 2400, 2400, 9.0f});
    add("File2", {2880, 120, 3300, 2400, 9.0f});
    add("Drive1", {60, 120, 315, 2400, 9.0f});
    add("LabelLocked", {6840, 6930, 300, 900, 9.0f});
    add("lblOrAliveOokamis", {6840, 2640, 300, 1200, 9.0f});
    add("Comgo", {6810, 4785, 360, 1500, 9.0f});
    add("lblWavInfo", {6510, 120, 255, 2400, 9.0f});
    add("lblPreviewFileSize", {6240, 120, 255, 2400, 9.0f});
    add("ComVol_Show", {6810, 8070, 360, 1200, 9.0f});
    add("ComEdit", {6810, 9390, 360, 1500, 9.0f});
    // The CD panel: the left half of the media area below the track frames; its controls
    // relative to the frame.
    add("FrameCD", {7230, 60, 1395, 5550, 9.0f});
    add("ComCDPrev", {240, 120, 390, 450, 9.0f});
    add("ComCD_RE", {240, 570, 390, 450, 9.0f});
    add("ComCDStart", {240, 1020, 390, 450, 9.0f});
    add("ComCDPause", {240, 1470, 390, 450, 9.0f});
    add("ComCDStop", {240, 1920, 390, 450, 9.0f});
    add("ComCD_FF", {240, 2370, 390, 450, 9.0f});
    add("ComCDNext", {240, 2820, 390, 450, 9.0f});
    add("lbltrack", {285, 3390, 300, 450, 12.0f});
    add("Label18", {285, 3840, 300, 150, 12.0f});
    add("lblAllTrack", {285, 3990, 300, 450, 12.0f});
    add("lblCDTime", {285, 4560, 300, 900, 12.0f});
    add("lblCDMarka", {720, 120, 255, 1260, 9.0f});
    add("lblCDMarkb", {720, 1470, 255, 1260, 9.0f});
    add("ChkCDAbloop", {705, 2880, 285, 1320, 9.0f});
    add("Label20", {1020, 120, 255, 300, 9.0f});
    add("lblCdBpm", {1020, 420, 255, 900, 9.0f});
    add("lblCDSec", {1020, 1380, 255, 600, 9.0f});
    add("SpinButtonCD", {990, 1980, 330, 840, 9.0f});
    add("ChkCDkijun", {1005, 2880, 285, 720, 9.0f});
    add("ComGoCDCount", {975, 3720, 375, 1740, 9.0f});
    for (int i = 0; i < 8; ++i) {
        const QString suffix = QStringLiteral("(%1)").arg(i);
        const int column = i % 4;
        const int row = i / 4;
        add(QStringLiteral("FraChannel") + suffix,
            {60 + row * (kFrameHeight + 45), 2640 + column * (kFrameWidth + 45), kFrameHeight,
             kFrameWidth, 9.0f});
        for (const TrackControlRow& c : kTrackControls) {
            add(QLatin1String(c.name) + suffix, c.rect);
        }
    }
    // The MIDI panel: the right half of the media area below the track frames; its controls
    // relative to the frame.
    add("FrameMIDI", {7230, 5700, 1395, 5460, 9.0f});
    add("ComMIDIOpen", {240, 120, 390, 450, 9.0f});
    add("ComMIDIStart", {240, 690, 390, 450, 9.0f});
    add("ComMIDIPause", {240, 1140, 390, 450, 9.0f});
    add("ComMIDIStop", {240, 1590, 390, 450, 9.0f});
    add("ComMIDIRe", {240, 2040, 390, 450, 9.0f});
    add("ComMIDIFF", {240, 2490, 390, 450, 9.0f});
    add("ComboMIDISys", {255, 3060, 330, 900, 9.0f});
    add("ChkMIDILoop", {270, 4080, 285, 1200, 9.0f});
    add("lblMIDITitle", {720, 120, 255, 2820, 9.0f});
    add("lblMIDITime", {1020, 120, 255, 900, 9.0f});
    add("lblmiditest", {1020, 1140, 255, 1200, 9.0f});
    add("Label19", {720, 3060, 255, 420, 9.0f});
    add("lblMIDITempo", {720, 3480, 255, 480, 9.0f});
    add("SpinButtonMIDI", {690, 3990, 330, 420, 9.0f});
    add("lblMIDISec", {1020, 3060, 255, 900, 9.0f});
    add("ChkMIDIkijun", {1005, 4080, 285, 1200, 9.0f});
    return t;
}

} // namespace

const std::vector<ControlPlacement>& MainWindowGeometry() {
    static const std::vector<ControlPlacement> table = NormalLayout();
    return table;
}

std::vector<ControlPlacement> SmallWindowGeometry() {
    // The same arrangement pressed together vertically with smaller type: the width already
    // fits 800 pixels, the height must leave room for a title bar and a panel on 600.
    std::vector<ControlPlacement> table = MainWindowGeometry();
    for (ControlPlacement& row : table) {
        TwipsRect& r = row.rect;
        r.top = static_cast<int>(std::lround(r.top * kSmallHeightScale));
        r.height = static_cast<int>(std::lround(r.height * kSmallHeightScale));
        if (r.fontSize > 0.0f) {
            r.fontSize = std::round(r.fontSize * kSmallHeightScale * 2.0f) / 2.0f;
        }
    }
    return table;
}

} // namespace mt
