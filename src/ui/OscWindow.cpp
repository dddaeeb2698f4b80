#include "ui/OscWindow.h"

#include "ui/MainWindow.h"
#include "ui/OscControl.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mt {
namespace {

// Translated where shown.
const char* const kWarning = QT_TRANSLATE_NOOP(
    "mt::OscWindow", "警告：同じネットワークの誰でもこのプログラムを操作できます");
const QString kRed = QStringLiteral("QLabel { color: rgb(192, 0, 0); }");

} // namespace

OscWindow::OscWindow(OscControl& control, QWidget* parent) : QDialog(parent), m_control(control) {
    setWindowTitle(QStringLiteral("OSC"));
    enabledCheck = new QCheckBox(tr("OSC で操作する"), this);
    enabledCheck->setObjectName(QStringLiteral("oscEnabledCheck"));
    portSpin = new QSpinBox(this);
    portSpin->setObjectName(QStringLiteral("oscPortSpin"));
    portSpin->setRange(0, 65535);
    portSpin->setKeyboardTracking(false); // taken when typed in full, not at each digit
    allInterfacesCheck = new QCheckBox(tr("すべてのネットワークから受け付ける"), this);
    allInterfacesCheck->setObjectName(QStringLiteral("oscAllInterfacesCheck"));
    warningLabel = new QLabel(tr(kWarning), this);
    warningLabel->setObjectName(QStringLiteral("oscWarningLabel"));
    warningLabel->setStyleSheet(kRed);
    warningLabel->setWordWrap(true);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("oscStatusLabel"));
    closeButton = new QPushButton(tr("閉じる"), this);
    closeButton->setObjectName(QStringLiteral("oscCloseButton"));

    auto* form = new QFormLayout;
    form->addRow(enabledCheck);
    form->addRow(tr("ポート"), portSpin);
    form->addRow(allInterfacesCheck);
    form->addRow(warningLabel);
    form->addRow(tr("状態"), statusLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    showState();
    connect(enabledCheck, &QCheckBox::toggled, this, &OscWindow::take);
    connect(allInterfacesCheck, &QCheckBox::toggled, this, &OscWindow::take);
    connect(portSpin, &QSpinBox::valueChanged, this, &OscWindow::take);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(&control, &OscControl::statusChanged, this, &OscWindow::showState);
}

void OscWindow::take() {
    m_control.apply(
        {enabledCheck->isChecked(), portSpin->value(), allInterfacesCheck->isChecked()});
    showState();
}

void OscWindow::showState() {
    const OscControl::Settings& settings = m_control.settings();
    const QSignalBlocker enabledBlock(enabledCheck);
    const QSignalBlocker portBlock(portSpin);
    const QSignalBlocker allBlock(allInterfacesCheck);
    enabledCheck->setChecked(settings.enabled);
    portSpin->setValue(settings.port);
    allInterfacesCheck->setChecked(settings.allInterfaces);
    warningLabel->setVisible(settings.allInterfaces);
    statusLabel->setText(m_control.status());
}

void AttachOscWindow(MainWindow& main, OscControl& control) {
    QAction* output = main.menuItem(QStringLiteral("mnuOutput"));
    QMenu* settings = nullptr;
    for (QObject* owner : output->associatedObjects()) {
        settings = settings != nullptr ? settings : qobject_cast<QMenu*>(owner);
    }
    if (settings != nullptr) {
        auto* item = settings->addAction(QStringLiteral("OSC(&C)..."));
        item->setObjectName(QStringLiteral("mnuOsc"));
        auto window = std::make_shared<QPointer<OscWindow>>();
        QObject::connect(item, &QAction::triggered, &main, [window, &main, &control] {
            if (*window == nullptr) {
                *window = new OscWindow(control, &main);
                (*window)->setAttribute(Qt::WA_DeleteOnClose);
            }
            (*window)->show();
            (*window)->raise();
        });
    }
    // Beside the sound output's line, while anyone on the network may send.
    QWidget* corner = main.menuBar()->cornerWidget(Qt::TopRightCorner);
    if (corner == nullptr || corner->layout() == nullptr) {
        return;
    }
    auto* mark =
        new QLabel(QCoreApplication::translate("mt::OscWindow", "OSC:全ネットワーク"), corner);
    mark->setObjectName(QStringLiteral("oscAllInterfacesMark"));
    mark->setToolTip(QCoreApplication::translate("mt::OscWindow", kWarning));
    mark->setStyleSheet(kRed);
    corner->layout()->addWidget(mark);
    const auto follow = [mark, &control] {
        mark->setVisible(control.listening() && control.settings().allInterfaces);
    };
    follow();
    QObject::connect(&control, &OscControl::statusChanged, mark, follow);
}

} // namespace mt
