#pragma once

#include "platform/MessageBoxService.h"

#include <QString>

#include <functional>

namespace mt {

// What the program tells the performer while a session manager runs it, where no box may wait
// for a person (the manager may be saving or ending the session meanwhile): each text is one
// line on stderr and goes to `onShown` (the window's status line), and the last is kept for the
// manager's error answers. Questions only follow the performer's own commands and still ask
// through `questions`. UI thread only.
class SessionMessages final : public MessageBoxService {
public:
    explicit SessionMessages(MessageBoxService& questions) : m_questions(questions) {}

    void show(const QString& text, const QString& title, MessageIcon icon) override;
    bool confirm(const QString& text, const QString& title) override {
        return m_questions.confirm(text, title);
    }

    // The last text shown since forgetLast(); "" for none.
    const QString& last() const { return m_last; }
    void forgetLast() { m_last.clear(); }

    std::function<void(const QString& text)> onShown;

private:
    MessageBoxService& m_questions;
    QString m_last;
};

} // namespace mt
