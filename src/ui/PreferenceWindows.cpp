#include "ui/PreferenceWindows.h"

#include "app/AppContext.h"
#include "platform/FileDialogService.h"
#include "ui/NamedWidget.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace mt {
namespace {

QHBoxLayout* Buttons(QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    if (cancel != nullptr) {
        row->addWidget(cancel);
    }
    return row;
}

} // namespace

EditorWaitWindow::EditorWaitWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmEditWait"));
    setWindowTitle(tr("Marrowtune - 再開待機中"));
    messageLabel = Named(new QLabel(tr("波形編集ソフトや、音声再生プログラムを使っている間は、"
                                       "Marrowtuneは操作できません。"),
                                    this),
                         "Label1");
    messageLabel->setWordWrap(true);
    resumeButton = Named(new QPushButton(tr("Brenlo 再開"), this), "ComRestart");
    quitButton = Named(new QPushButton(tr("Brenlo終了"), this), "ComEnd");
    resumeButton->setDefault(true);
    connect(resumeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(quitButton, &QPushButton::clicked, this, [this] { done(kEndProgram); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(messageLabel);
    layout->addLayout(Buttons(resumeButton, quitButton));
}

void EditorWaitWindow::reject() {}

void EditorWaitWindow::closeEvent(QCloseEvent* event) {
    if (isVisible()) {
        done(kEndProgram);
    }
    event->accept();
}

PreferenceWindow::PreferenceWindow(AppContext& app, QWidget* parent) : QDialog(parent), m_app(app) {
    setObjectName(QStringLiteral("frmPreference"));
    setWindowTitle(tr("参照設定"));
    volumeControlCaption = Named(new QLabel(tr("ボリュームコントロールの場所 ："), this), "Label1");
    volumeControlPathEdit = Named(new QLineEdit(this), "txtVolumeControlPath");
    volumeControlBrowseButton = Named(new QPushButton(tr("参照"), this), "ComGetVolumeControlpath");
    volumeControlHint = Named(
        new QLabel(tr("「ボリュームコントロール」が上手く開かない時に設定してください。"), this),
        "Label2");
    editProgramCaption = Named(
        new QLabel(tr("波形編集ソフト（Cool Edit ,Gold Wave,波平 etc.)の場所："), this), "Label3");
    editorPathEdit = Named(new QLineEdit(this), "TxteditProgramPath");
    editorBrowseButton = Named(new QPushButton(tr("参照"), this), "ComPrefe_edit");
    okButton = Named(new QPushButton(QStringLiteral("OK"), this), "ComOK");
    cancelButton = Named(new QPushButton(tr("キャンセル"), this), "ComCancel");
    okButton->setDefault(true);
    connect(volumeControlBrowseButton, &QPushButton::clicked, this,
            &PreferenceWindow::onVolumeControlBrowseClicked);
    connect(editorBrowseButton, &QPushButton::clicked, this,
            &PreferenceWindow::onEditorBrowseClicked);
    connect(okButton, &QPushButton::clicked, this, &PreferenceWindow::onOkClicked);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    cdImageEdit = Named(new QLineEdit(this), "TxtCdImage");
    cdImageEdit->setPlaceholderText(tr("(CDドライブ)"));
    cdImageBrowseButton = Named(new QPushButton(tr("参照"), this), "ComCdImage");
    soundFontEdit = Named(new QLineEdit(this), "TxtSoundFont");
    soundFontBrowseButton = Named(new QPushButton(tr("参照"), this), "ComSoundFont");
    connect(cdImageBrowseButton, &QPushButton::clicked, this, [this] {
        browse(tr("ディスクイメージ (*.cue *.toc *.nrg)|*.cue;*.toc;*.nrg|"), *cdImageEdit);
    });
    connect(soundFontBrowseButton, &QPushButton::clicked, this,
            [this] { browse(QStringLiteral("SoundFont (*.sf2)|*.sf2|"), *soundFontEdit); });

    auto* grid = new QGridLayout;
    grid->addWidget(volumeControlCaption, 0, 0, 1, 2);
    grid->addWidget(volumeControlPathEdit, 1, 0);
    grid->addWidget(volumeControlBrowseButton, 1, 1);
    grid->addWidget(volumeControlHint, 2, 0, 1, 2);
    grid->addWidget(editProgramCaption, 3, 0, 1, 2);
    grid->addWidget(editorPathEdit, 4, 0);
    grid->addWidget(editorBrowseButton, 4, 1);
    grid->addWidget(
        new QLabel(tr("CDの読み込み元（空欄ならCDドライブ、またはディスクイメージ）："), this), 5,
        0, 1, 2);
    grid->addWidget(cdImageEdit, 6, 0);
    grid->addWidget(cdImageBrowseButton, 6, 1);
    grid->addWidget(new QLabel(tr("MIDIの音色（SoundFont）："), this), 7, 0, 1, 2);
    grid->addWidget(soundFontEdit, 8, 0);
    grid->addWidget(soundFontBrowseButton, 8, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(Buttons(okButton, cancelButton));
    resize(520, sizeHint().height());

    volumeControlPathEdit->setText(m_app.volumeControlPath);
    editorPathEdit->setText(m_app.editProgramPath);
    cdImageEdit->setText(m_app.cd.state.imagePath);
    soundFontEdit->setText(m_app.midi.kbgm.soundFont());
}

void PreferenceWindow::browse(const QString& filter, QLineEdit& into) {
    FileDialogRequest request;
    request.filter = filter + tr("すべてのファイル (*.*)|*.*|");
    request.filterIndex = 2;
    request.fileName = lastVolumeControlFile;
    if (const std::optional<QString> chosen = m_app.platform.fileDialogs.openFile(request)) {
        lastVolumeControlFile = *chosen;
        into.setText(*chosen);
    }
    // A cancel leaves the box as it was: neither emptied nor given what another box chose.
}

void PreferenceWindow::onVolumeControlBrowseClicked() {
    browse(tr("ボリュームコントロール (*.exe)|*.exe|"), *volumeControlPathEdit);
}

void PreferenceWindow::onEditorBrowseClicked() {
    browse(tr("波形編集ソフト (*.exe)|*.exe|"), *editorPathEdit);
}

void PreferenceWindow::onOkClicked() {
    Preferences preferences = m_app.performance.preferences();
    preferences.volumeControlPath = volumeControlPathEdit->text();
    preferences.editProgramPath = editorPathEdit->text();
    m_app.performance.setPreferences(preferences);
    m_app.cd.state.imagePath = cdImageEdit->text().trimmed();
    if (!soundFontEdit->text().trimmed().isEmpty()) {
        m_app.midi.kbgm.setSoundFont(soundFontEdit->text().trimmed()); // used when MIDI opens
    }
    accept(); // the main window enables its editor button for a path that is not empty
}

OtherSettingsWindow::OtherSettingsWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), m_app(app) {
    setObjectName(QStringLiteral("FrmOtherSetting"));
    setWindowTitle(tr("その他の設定"));
    previewLoopCheck =
        Named(new QCheckBox(tr("プレビューする時にループ再生をする"), this), "ChkPreviewLoop");
    stopCdAtEndCheck = Named(new QCheckBox(tr("終了時にＣＤを停止する"), this), "ChkEndCdEnd");
    smallLayoutCheck = Named(new QCheckBox(tr("Windowサイズを小さくする（解像度800*600用）"), this),
                             "ChkFormSizeFlag");
    okButton = Named(new QPushButton(QStringLiteral("OK(&Y)"), this), "ComOK");
    cancelButton = Named(new QPushButton(tr("キャンセル(&N)"), this), "ComCancel");
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &OtherSettingsWindow::onOkClicked);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(previewLoopCheck);
    layout->addWidget(stopCdAtEndCheck);
    layout->addWidget(smallLayoutCheck);
    layout->addLayout(Buttons(okButton, cancelButton));

    previewLoopCheck->setChecked(m_app.previewLoop);
    stopCdAtEndCheck->setChecked(m_app.cd.state.stopCdOnExit);
    smallLayoutCheck->setChecked(m_app.smallLayout != 0);
}

void OtherSettingsWindow::onOkClicked() {
    Preferences preferences = m_app.performance.preferences();
    preferences.previewLoop = previewLoopCheck->isChecked();
    preferences.formSize = smallLayoutCheck->isChecked() ? 1 : 0;
    m_app.performance.setPreferences(preferences);
    m_app.cd.state.stopCdOnExit = stopCdAtEndCheck->isChecked();
    accept(); // the main window applies the layout
}

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMtnAbout"));
    setWindowTitle(tr("バージョン情報"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(48, 48));
    versionLabel = Named(new QLabel(QStringLiteral("Marrowtune Ver1.50　β2"), this), "Label1");
    thanksLabel = Named(new QLabel(QStringLiteral("\"Thanks!\""), this), "Label3");
    auto* credit = new QLabel(tr("Marrowtune の開発者たち"), this);
    auto* date = new QLabel(tr("2026年12月"), this);
    closeButton = Named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(versionLabel, 1);
    layout->addLayout(top);
    layout->addWidget(thanksLabel);
    layout->addWidget(credit);
    layout->addWidget(date);
    layout->addLayout(Buttons(closeButton, nullptr));
}

} // namespace mt
