#pragma once

#include "platform/CursorService.h"
#include "platform/FileDialogService.h"
#include "platform/MessageBoxService.h"
#include "platform/ModalRunner.h"
#include "platform/PlatformServices.h"
#include "platform/SettingsStore.h"
#include "platform/SystemServices.h"

#include <QMap>

#include <deque>
#include <functional>
#include <vector>

namespace mt::test {

struct ShownMessage {
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::None;
    bool question = false;
};

// Records every box and answers questions from a script (yes when the script is empty).
class RecordingMessageBoxes final : public MessageBoxService {
public:
    void show(const QString& text, const QString& title, MessageIcon icon) override {
        shown.push_back({text, title, icon, false});
    }
    bool confirm(const QString& text, const QString& title) override {
        shown.push_back({text, title, MessageIcon::None, true});
        if (answers.empty()) {
            return true;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<QString> texts() const {
        std::vector<QString> result;
        for (const ShownMessage& m : shown) {
            result.push_back(m.text);
        }
        return result;
    }

    std::vector<ShownMessage> shown;
    std::deque<bool> answers;
};

// Answers file dialogs from a script of paths; an empty script or nullopt means cancel.
class ScriptedFileDialogs final : public FileDialogService {
public:
    std::optional<QString> openFile(const FileDialogRequest& request) override {
        return answer(request);
    }
    std::optional<QString> saveFile(const FileDialogRequest& request) override {
        return answer(request);
    }
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override {
        return answer(request);
    }

    std::vector<FileDialogRequest> requests;
    std::deque<std::optional<QString>> answers;

private:
    std::optional<QString> answer(const FileDialogRequest& request) {
        requests.push_back(request);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto next = answers.front();
        answers.pop_front();
        return next;
    }
};

class CountingCursor final : public CursorService {
public:
    void beginWait() override { ++depth, ++waits; }
    void endWait() override { --depth; }
    int depth = 0; // 0 = default pointer
    int waits = 0;
};

// In memory, keys matched without regard to case like the real store.
class MemorySettingsStore final : public SettingsStore {
public:
    std::optional<QString> value(const QString& app, const QString& section,
                                 const QString& key) const override {
        const auto it = values.constFind(join(app, section, key));
        return it == values.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
    void setValue(const QString& app, const QString& section, const QString& key,
                  const QString& value) override {
        values[join(app, section, key)] = value;
        written.push_back(key);
    }
    bool writesSucceeded() override { return !failWrites; }

    QMap<QString, QString> values; // "app/section/key" in lower case -> text
    std::vector<QString> written;  // keys in the order they were written, as written
    bool failWrites = false;

private:
    static QString join(const QString& app, const QString& section, const QString& key) {
        return (app + QLatin1Char('/') + section + QLatin1Char('/') + key).toLower();
    }
};

// The desktop's trash, process start and web browser, recording what they were asked.
class RecordingTrash final : public TrashService {
public:
    bool moveToTrash(const QString& path) override { return trashed.push_back(path), succeed; }
    std::vector<QString> trashed;
    bool succeed = true;
};
class RecordingLauncher final : public ProcessLauncher {
public:
    bool start(const QString& program, const QStringList& arguments) override {
        return started.emplace_back(program, arguments), succeed;
    }
    std::vector<std::pair<QString, QStringList>> started;
    bool succeed = true;
};
class RecordingUrlOpener final : public UrlOpener {
public:
    bool open(const QString& url) override { return opened.push_back(url), true; }
    std::vector<QString> opened;
};

// Hands each modal window to `inspect` (when set) instead of waiting, then closes it.
class InspectingModals final : public ModalRunner {
public:
    int run(QDialog& dialog) override { return ++runs, inspect ? inspect(dialog) : 0; }
    std::function<int(QDialog&)> inspect;
    int runs = 0;
};

// Every double in one place, handed out as the program's platform services.
struct TestPlatform {
    RecordingMessageBoxes messages;
    ScriptedFileDialogs fileDialogs;
    CountingCursor cursor;
    MemorySettingsStore settings;
    RecordingTrash trash;
    RecordingLauncher processes;
    RecordingUrlOpener urls;
    InspectingModals modals;
    PlatformServices services{messages, fileDialogs, cursor, settings,
                              trash,    processes,   urls,   modals};
};

} // namespace mt::test
