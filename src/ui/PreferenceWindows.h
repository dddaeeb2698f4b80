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
class EditorWaitWindow final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kEndProgram = 2;

    explicit EditorWaitWindow(QWidget* parent);

    // Escape (and anything else that would only reject the window) leaves it open.
    void reject() override;

    QLabel* messageLabel;
    QPushButton* resumeButton; // "Brenlo 再開"
    QPushButton* quitButton;   // "Brenlo終了"

protected:
    void closeEvent(QCloseEvent* event) override;
};

// Where the volume control and the waveform editor live.
class PreferenceWindow final : public QDialog {
    Q_OBJECT

public:
    PreferenceWindow(AppContext& app, QWidget* parent);

    void onVolumeControlBrowseClicked();
    void onEditorBrowseClicked();
    void onOkClicked();

    QLabel* volumeControlCaption;
    QLineEdit* volumeControlPathEdit;
    QPushButton* volumeControlBrowseButton;
    QLabel* volumeControlHint;
    QLabel* editProgramCaption;
    QLineEdit* editorPathEdit;
    QPushButton* editorBrowseButton;
    QPushButton* okButton;
    QPushButton* cancelButton;

    // The program's own additions: the CD's source (empty: the drive, else a disc image) and
    // the SoundFont the MIDI synth plays with.
    QLineEdit* cdImageEdit;
    QPushButton* cdImageBrowseButton;
    QLineEdit* soundFontEdit;
    QPushButton* soundFontBrowseButton;

    QString lastVolumeControlFile; // the browse dialog's file name, kept between uses

private:
    void browse(const QString& filter, QLineEdit& into);

    AppContext& m_app;
};

// Preview loop, stopping the CD at the end, and the small layout.
class OtherSettingsWindow final : public QDialog {
    Q_OBJECT

public:
    OtherSettingsWindow(AppContext& app, QWidget* parent);

    void onOkClicked();

    QCheckBox* previewLoopCheck;
    QCheckBox* stopCdAtEndCheck;
    QCheckBox* smallLayoutCheck;
    QPushButton* okButton;
    QPushButton* cancelButton;

private:
    AppContext& m_app;
};

class AboutWindow final : public QDialog {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget* parent);

    QLabel* versionLabel;
    QLabel* thanksLabel;
    QPushButton* closeButton;
};

} // namespace mt
