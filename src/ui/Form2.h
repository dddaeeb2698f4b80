#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace mt {

struct TrackBank;
class ClickableLabel;
class TrackPanel;

// The play-mode window: only the eight tracks' PLAY/STOP buttons, loop and hold boxes, titles
// and numbers, and the lone-wolf label. It owns no state: its controls act on the main
// window's through the track operations, which keep its mirrored controls up to date.
class Form2 final : public QWidget {
    Q_OBJECT

public:
    explicit Form2(TrackPanel& tracks);

    // Takes the title and the tracks' current titles, buttons and boxes from the main window.
    void refresh(const QString& settingFileTitle, const TrackBank& bank);

    void ComStart2_Click(int index);
    void CheckLoop2_MouseUp(int index);
    void CheckDuuk2_MouseUp(int index);
    void ComBack_Click();

    std::array<QFrame*, 8> Frame1{};
    std::array<QPushButton*, 8> ComStart2{};
    std::array<QCheckBox*, 8> CheckLoop2{};
    std::array<QCheckBox*, 8> CheckDuuk2{};
    std::array<QLabel*, 8> Label2{};         // the file name
    std::array<ClickableLabel*, 8> Label1{}; // "1-Z" ...: carries the selection highlight
    QPushButton* ComBack = nullptr;
    ClickableLabel* lblOrAliveOokamis = nullptr;

    // Shows the main window again; set by the main window.
    std::function<void()> showMain;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TrackPanel& m_tracks;
};

} // namespace mt
