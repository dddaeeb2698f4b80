#include "ui/PreferenceWindows.h"

#include "app/AppContext.h"
#include "platform/FileDialogService.h"

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

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

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
    setWindowTitle(QStringLiteral("Marrowtune - 再開待機中"));
    messageLabel =
        Named(new QLabel(QStringLiteral("波形編集ソフトや、音声再生プログラムを使っている間は、"
                                        "Marrowtuneは操作できません。"),
                         this),
              "Label1");
    messageLabel->setWordWrap(true);
    ComRestart = Named(new QPushButton(QStringLiteral("Brenlo 再開"), this), "ComRestart");
    ComEnd = Named(new QPushButton(QStringLiteral("Brenlo終了"), this), "ComEnd");
    ComRestart->setDefault(true);
    connect(ComRestart, &QPushButton::clicked, this, &QDialog::accept);
    connect(ComEnd, &QPushButton::clicked, this, [this] { done(kEndProgram); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(messageLabel);
    layout->addLayout(Buttons(ComRestart, ComEnd));
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
    setWindowTitle(QStringLiteral("参照設定"));
    volumeControlCaption =
        Named(new QLabel(QStringLiteral("ボリュームコントロールの場所 ："), this), "Label1");
    txtVolumeControlPath = Named(new QLineEdit(this), "txtVolumeControlPath");
    ComGetVolumeControlpath =
        Named(new QPushButton(QStringLiteral("参照"), this), "ComGetVolumeControlpath");
    volumeControlHint =
        Named(new QLabel(QStringLiteral(
                             "「ボリュームコントロール」が上手く開かない時に設定してください。"),
                         this),
              "Label2");
    editProgramCaption = Named(
        new QLabel(QStringLiteral("波形編集ソフト（Cool Edit ,Gold Wave,波平 etc.)の場所："), this),
        "Label3");
    TxteditProgramPath = Named(new QLineEdit(this), "TxteditProgramPath");
    ComPrefe_edit = Named(new QPushButton(QStringLiteral("参照"), this), "ComPrefe_edit");
    ComOK = Named(new QPushButton(QStringLiteral("OK"), this), "ComOK");
    ComCancel = Named(new QPushButton(QStringLiteral("キャンセル"), this), "ComCancel");
    ComOK->setDefault(true);
    connect(ComGetVolumeControlpath, &QPushButton::clicked, this,
            &PreferenceWindow::ComGetVolumeControlpath_Click);
    connect(ComPrefe_edit, &QPushButton::clicked, this, &PreferenceWindow::ComPrefe_edit_Click);
    connect(ComOK, &QPushButton::clicked, this, &PreferenceWindow::ComOK_Click);
    connect(ComCancel, &QPushButton::clicked, this, &QDialog::reject);

    TxtCdImage = Named(new QLineEdit(this), "TxtCdImage");
    TxtCdImage->setPlaceholderText(QStringLiteral("(CDドライブ)"));
    ComCdImage = Named(new QPushButton(QStringLiteral("参照"), this), "ComCdImage");
    TxtSoundFont = Named(new QLineEdit(this), "TxtSoundFont");
    ComSoundFont = Named(new QPushButton(QStringLiteral("参照"), this), "ComSoundFont");
    connect(ComCdImage, &QPushButton::clicked, this, [this] {
        browse(QStringLiteral("ディスクイメージ (*.cue *.toc *.nrg)|*.cue;*.toc;*.nrg|"),
               *TxtCdImage);
    });
    connect(ComSoundFont, &QPushButton::clicked, this,
            [this] { browse(QStringLiteral("SoundFont (*.sf2)|*.sf2|"), *TxtSoundFont); });

    auto* grid = new QGridLayout;
    grid->addWidget(volumeControlCaption, 0, 0, 1, 2);
    grid->addWidget(txtVolumeControlPath, 1, 0);
    grid->addWidget(ComGetVolumeControlpath, 1, 1);
    grid->addWidget(volumeControlHint, 2, 0, 1, 2);
    grid->addWidget(editProgramCaption, 3, 0, 1, 2);
    grid->addWidget(TxteditProgramPath, 4, 0);
    grid->addWidget(ComPrefe_edit, 4, 1);
    grid->addWidget(
        new QLabel(QStringLiteral("CDの読み込み元（空欄ならCDドライブ、またはディスクイメージ）："),
                   this),
        5, 0, 1, 2);
    grid->addWidget(TxtCdImage, 6, 0);
    grid->addWidget(ComCdImage, 6, 1);
    grid->addWidget(new QLabel(QStringLiteral("MIDIの音色（SoundFont）："), this), 7, 0, 1, 2);
    grid->addWidget(TxtSoundFont, 8, 0);
    grid->addWidget(ComSoundFont, 8, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(Buttons(ComOK, ComCancel));
    resize(520, sizeHint().height());

    txtVolumeControlPath->setText(m_app.VolumeControlPath);
    TxteditProgramPath->setText(m_app.editProgramPath);
    TxtCdImage->setText(m_app.cd.state.imagePath);
    TxtSoundFont->setText(m_app.midi.kbgm.soundFont());
}

void PreferenceWindow::browse(const QString& filter, QLineEdit& into) {
    FileDialogRequest request;
    request.filter = filter + QStringLiteral("すべてのファイル (*.*)|*.*|");
    request.filterIndex = 2;
    request.fileName = CommonDialogVolFileName;
    if (const std::optional<QString> chosen = m_app.platform.fileDialogs.openFile(request)) {
        CommonDialogVolFileName = *chosen;
        into.setText(*chosen);
    }
    // A cancel leaves the box as it was: neither emptied nor given what another box chose.
}

void PreferenceWindow::ComGetVolumeControlpath_Click() {
    browse(QStringLiteral("ボリュームコントロール (*.exe)|*.exe|"), *txtVolumeControlPath);
}

void PreferenceWindow::ComPrefe_edit_Click() {
    browse(QStringLiteral("波形編集ソフト (*.exe)|*.exe|"), *TxteditProgramPath);
}

void PreferenceWindow::ComOK_Click() {
    Preferences preferences = m_app.performance.preferences();
    preferences.volumeControlPath = txtVolumeControlPath->text();
    preferences.editProgramPath = TxteditProgramPath->text();
    m_app.performance.setPreferences(preferences);
    m_app.cd.state.imagePath = TxtCdImage->text().trimmed();
    if (!TxtSoundFont->text().trimmed().isEmpty()) {
        m_app.midi.kbgm.setSoundFont(TxtSoundFont->text().trimmed()); // used when MIDI opens
    }
    accept(); // the main window enables its editor button for a path that is not empty
}

OtherSettingsWindow::OtherSettingsWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), m_app(app) {
    setObjectName(QStringLiteral("FrmOtherSetting"));
    setWindowTitle(QStringLiteral("その他の設定"));
    ChkPreviewLoop =
        Named(new QCheckBox(QStringLiteral("プレビューする時にループ再生をする"), this),
              "ChkPreviewLoop");
    ChkEndCdEnd =
        Named(new QCheckBox(QStringLiteral("終了時にＣＤを停止する"), this), "ChkEndCdEnd");
    ChkFormSizeFlag =
        Named(new QCheckBox(QStringLiteral("Windowサイズを小さくする（解像度800*600用）"), this),
              "ChkFormSizeFlag");
    ComOK = Named(new QPushButton(QStringLiteral("OK(&Y)"), this), "ComOK");
    ComCancel = Named(new QPushButton(QStringLiteral("キャンセル(&N)"), this), "ComCancel");
    ComOK->setDefault(true);
    connect(ComOK, &QPushButton::clicked, this, &OtherSettingsWindow::ComOK_Click);
    connect(ComCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ChkPreviewLoop);
    layout->addWidget(ChkEndCdEnd);
    layout->addWidget(ChkFormSizeFlag);
    layout->addLayout(Buttons(ComOK, ComCancel));

    ChkPreviewLoop->setChecked(m_app.previewLoop);
    ChkEndCdEnd->setChecked(m_app.cd.state.stopCdOnExit);
    ChkFormSizeFlag->setChecked(m_app.FormSizeFlag != 0);
}

void OtherSettingsWindow::ComOK_Click() {
    Preferences preferences = m_app.performance.preferences();
    preferences.previewLoop = ChkPreviewLoop->isChecked();
    preferences.formSize = ChkFormSizeFlag->isChecked() ? 1 : 0;
    m_app.performance.setPreferences(preferences);
    m_app.cd.state.stopCdOnExit = ChkEndCdEnd->isChecked();
    accept(); // the main window applies the layout
}

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMtnAbout"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(48, 48));
    versionLabel = Named(new QLabel(QStringLiteral("Marrowtune Ver1.50　β2"), this), "Label1");
    thanksLabel = Named(new QLabel(QStringLiteral("\"Thanks!\""), this), "Label3");
    auto* credit = new QLabel(QStringLiteral("Marrowtune の開発者たち"), this);
    auto* date = new QLabel(QStringLiteral("2026年12月"), this);
    cmdOK = Named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(versionLabel, 1);
    layout->addLayout(top);
    layout->addWidget(thanksLabel);
    layout->addWidget(credit);
    layout->addWidget(date);
    layout->addLayout(Buttons(cmdOK, nullptr));
}

} // namespace mt
