// The tracks' volume, pan and speed bars as they reach the eye: the handle is found in the
// bar's own pixels, by its contrast with the groove, at the minimum, middle and maximum
// values, in the normal and the small layout.
#include "support/UiFixture.h"
#include "ui/AppShell.h"

#include <QImage>

#include <algorithm>
#include <optional>
#include <vector>

namespace mt {
namespace {

int Luminance(QRgb pixel) {
    return (qRed(pixel) * 299 + qGreen(pixel) * 587 + qBlue(pixel) * 114) / 1000;
}

struct Handle {
    int left = 0;
    int right = 0; // inclusive
    int contrast = 0;
};

// Along the middle row of the groove: the one run of pixels far darker than the groove.
std::optional<Handle> FindHandle(QScrollBar& bar) {
    const QImage image = bar.grab().toImage();
    const qreal scale = image.devicePixelRatio();
    const QRect groove = test::ScrollBarPart(bar, QStyle::SC_ScrollBarGroove);
    const int from = static_cast<int>(groove.left() * scale);
    std::vector<int> row; // from the groove's left end
    for (int x = from; x <= static_cast<int>(groove.right() * scale); ++x) {
        row.push_back(Luminance(image.pixel(x, static_cast<int>(groove.center().y() * scale))));
    }
    const int lightest = std::ranges::max(row);
    const auto dark = [lightest](int l) { return lightest - l >= 100; };
    const auto first = std::ranges::find_if(row, dark);
    const auto past = std::find_if_not(first, row.end(), dark);
    if (first == row.end() || std::find_if(past, row.end(), dark) != row.end()) {
        return std::nullopt; // none, or two dark runs: no single handle to read
    }
    return Handle{static_cast<int>(static_cast<double>(from + (first - row.begin())) / scale),
                  static_cast<int>(static_cast<double>(from + (past - row.begin()) - 1) / scale),
                  lightest - *std::min_element(first, past)};
}

class MixBarPixelsTest : public test::MainWindowTest {
protected:
    void SetUp() override { test::ShowActive(m_window); }

    // Each bar of track 3 at its minimum, middle and maximum: the handle is where the value
    // puts it, and it moves from the groove's left end to its right end.
    void expectReadableHandles(const char* layout) {
        for (QScrollBar* bar : {frame(2).volumeBar, frame(2).panBar, frame(2).speedBar}) {
            std::vector<int> centres;
            for (const int value :
                 {bar->minimum(), (bar->minimum() + bar->maximum()) / 2, bar->maximum()}) {
                bar->setValue(value);
                const std::optional<Handle> handle = FindHandle(*bar);
                const std::string where = std::string(layout) + " " +
                                          bar->objectName().toStdString() + " at " +
                                          std::to_string(value);
                ASSERT_TRUE(handle.has_value()) << where << ": no handle stands out";
                const QRect drawn = test::ScrollBarPart(*bar, QStyle::SC_ScrollBarSlider);
                EXPECT_NEAR(handle->left, drawn.left(), 2) << where;
                EXPECT_NEAR(handle->right, drawn.right(), 2) << where;
                EXPECT_GE(handle->contrast, 100) << where;
                centres.push_back((handle->left + handle->right) / 2);
            }
            const QRect groove = test::ScrollBarPart(*bar, QStyle::SC_ScrollBarGroove);
            EXPECT_LT(centres[0], centres[1]);
            EXPECT_LT(centres[1], centres[2]);
            EXPECT_NEAR(centres[1], groove.center().x(), 2) << bar->objectName().toStdString();
        }
    }
};

TEST_F(MixBarPixelsTest, TheHandleStandsOutAtEveryValueInBothLayouts) {
    expectReadableHandles("normal");
    m_window.shell().LoadLayout(1); // what the other settings' OK does: ExternalProgramsTest
    expectReadableHandles("small");
}

} // namespace
} // namespace mt
