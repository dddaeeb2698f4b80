#include "app/SessionGlue.h"

#include "app/SessionMessages.h"
#include "core/Performance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace mt {

SessionGlue::SessionGlue(Performance& performance, SessionMessages& messages, QObject* parent)
    : QObject(parent), m_performance(performance), m_messages(messages) {
    m_messages.onShown = [this](const QString& text) { status(text); };
    connect(&m_client, &NsmClient::openRequested, this,
            [this](const QString& path, const QString& displayName) { open(path, displayName); });
    connect(&m_client, &NsmClient::saveRequested, this, &SessionGlue::save);
    connect(&m_client, &NsmClient::windowRequested, this, &SessionGlue::setWindowShown);
    connect(&m_performance, &Performance::changedFlag, &m_client, &NsmClient::tellDirty);
    // The manager ends the program with SIGTERM, and no question may hold that up: the
    // session's own save came before, if the performer wanted one.
    connect(&m_signals, &TerminationSignals::received, this, [this](int number) {
        if (m_ending) {
            return; // a second signal while the first one's shutdown runs
        }
        m_ending = true;
        std::fprintf(stderr, "marrowtune: ending on signal %d\n", number);
        if (quit) {
            quit();
        }
    });
}

SessionGlue::~SessionGlue() {
    m_messages.onShown = nullptr;
}

QString SessionGlue::ManagerUrl() {
    return qEnvironmentVariable("NSM_URL");
}

QString SessionGlue::SetPath(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("set.mrw"));
}

bool SessionGlue::start(const QString& url, const QString& executableName) {
    QString error;
    if (!m_client.start(url, executableName, QCoreApplication::applicationPid(), error)) {
        std::fprintf(stderr, "marrowtune: no session manager: %s\n",
                     error.toLocal8Bit().constData());
        return false;
    }
    return true;
}

void SessionGlue::open(const QString& folder, const QString& displayName) {
    m_messages.forgetLast();
    m_displayName = displayName;
    const QString set = SetPath(folder);
    if (QFileInfo::exists(set)) {
        // Whatever the bank holds now gives way: the manager switches sessions, and asking
        // would hold the whole session up.
        if (!m_performance.open(set)) {
            m_setPath = set;
            m_setUnreadable = true;
            m_client.answer(SessionRequest::Open, SessionError::BadProject,
                            reason(set + QStringLiteral(" を読めませんでした")));
            return;
        }
        m_setPath = set;
        m_setUnreadable = false;
        status(QString());
        m_client.answer(SessionRequest::Open, QStringLiteral("開きました"));
        return;
    }
    std::error_code failure;
    std::filesystem::create_directories(std::filesystem::path(folder.toStdString()), failure);
    if (failure) {
        m_client.answer(SessionRequest::Open, SessionError::CreateFailed,
                        QStringLiteral("セッションのフォルダ %1 を作れませんでした: %2")
                            .arg(folder, QString::fromLocal8Bit(failure.message())));
        return;
    }
    m_performance.newBank();
    m_setPath = set;
    m_setUnreadable = false;
    status(QString());
    saveSet([this](const QString& error) {
        if (error.isEmpty()) {
            m_client.answer(SessionRequest::Open, QStringLiteral("新しいセットを作りました"));
        } else {
            m_client.answer(SessionRequest::Open, SessionError::CreateFailed, error);
        }
    });
}

void SessionGlue::save() {
    if (m_setPath.isEmpty()) {
        m_client.answer(SessionRequest::Save, SessionError::NoSessionOpen,
                        QStringLiteral("セッションがまだ開かれていません"));
        return;
    }
    if (m_setUnreadable) {
        m_client.answer(
            SessionRequest::Save, SessionError::BadProject,
            m_setPath + QStringLiteral(" は読めなかったため、上書きしないよう保存しませんでした"));
        return;
    }
    m_messages.forgetLast();
    saveSet([this](const QString& error) {
        if (error.isEmpty()) {
            m_client.answer(SessionRequest::Save, QStringLiteral("保存しました"));
        } else {
            m_client.answer(SessionRequest::Save, SessionError::General, error);
        }
    });
}

void SessionGlue::saveSet(const std::function<void(const QString& error)>& done) {
    // The set and copies of its samples in the session's folder, so that the session holds all
    // of it. A sample that cannot be copied (gone, say) must not cost the save itself: the set
    // is then saved where it is with the paths it has, and the reason goes to the line.
    if (m_performance.collecting()) {
        done(QStringLiteral("まとめて保存の最中です。"));
        return;
    }
    m_performance.collectTo(m_setPath, [this, done](const QString& error) {
        if (error.isEmpty()) {
            done(QString());
            return;
        }
        if (!m_performance.saveAs(m_setPath)) {
            done(reason(m_setPath + QStringLiteral(" に保存できませんでした")));
            return;
        }
        m_messages.show(tr("セットは保存しましたが、サンプルをセッションのフォルダに"
                           "まとめられませんでした: %1")
                            .arg(error),
                        kAppTitle, MessageIcon::Exclamation);
        done(QString());
    });
}

void SessionGlue::setWindowShown(bool shown) {
    if (showWindow) {
        showWindow(shown);
    }
    m_client.tellWindowShown(shown);
}

bool SessionGlue::hideInsteadOfClose() {
    if (!m_client.managerShowsWindows()) {
        return false;
    }
    setWindowShown(false);
    return true;
}

void SessionGlue::status(const QString& message) {
    if (showStatus) {
        showStatus(m_displayName, message);
    }
}

QString SessionGlue::reason(const QString& fallback) const {
    return m_messages.last().isEmpty() ? fallback : m_messages.last();
}

} // namespace mt
