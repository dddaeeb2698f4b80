#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mt {

struct AppContext;

// Shown while the waveform editor has the track's file: nothing can sound until "Brenlo 再開".
// Its result: Accepted for "Brenlo 再開", kEndProgram for "Brenlo終了" and the close box.
// Escape does nothing here: ending the program is never one stray key away.
class FrmEditWait final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kEndProgram = 2;

    explicit FrmEditWait(QWidget* parent);

    // Escape (and anything else that would only reject the window) leaves it open.
    void reject() override;

    QLabel* Label1;
    QPushButton* ComRestart; // "Brenlo 再開"
    QPushButton* ComEnd;     // "Brenlo終了"

protected:
    void closeEvent(QCloseEvent* event) override;
};

// Where the volume control and the waveform editor live.
class FrmPreference final : public QDialog {
    Q_OBJECT

public:
    FrmPreference(AppContext& app, QWidget* parent);

    void ComGetVolumeControlpath_Click();
    void ComPrefe_edit_Click();
    void ComOK_Click();

    QLabel* Label1;
    QLineEdit* txtVolumeControlPath;
    QPushButton* ComGetVolumeControlpath;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* TxteditProgramPath;
    QPushButton* ComPrefe_edit;
    QPushButton* ComOK;
    QPushButton* ComCancel;

    // The program's own additions: the CD's source (empty: the drive, else a disc image) and
    // the SoundFont the MIDI synth plays with.
    QLineEdit* TxtCdImage;
    QPushButton* ComCdImage;
    QLineEdit* TxtSoundFont;
    QPushButton* ComSoundFont;

    QString CommonDialogVolFileName; // the browse dialog's file name, kept between uses

private:
    void browse(const QString& filter, QLineEdit& into);

    AppContext& m_app;
};

// Preview loop, stopping the CD at the end, and the small layout.
class FrmOtherSetting final : public QDialog {
    Q_OBJECT

public:
    FrmOtherSetting(AppContext& app, QWidget* parent);

    void ComOK_Click();

    QCheckBox* ChkPreviewLoop;
    QCheckBox* ChkEndCdEnd;
    QCheckBox* ChkFormSizeFlag;
    QPushButton* ComOK;
    QPushButton* ComCancel;

private:
    AppContext& m_app;
};

class FrmMtnAbout final : public QDialog {
    Q_OBJECT

public:
    explicit FrmMtnAbout(QWidget* parent);

    QLabel* Label1;
    QLabel* Label3;
    QPushButton* cmdOK;
};

} // namespace mt
