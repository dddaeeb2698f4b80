#pragma once

#include <QString>

namespace mt {

enum class MessageIcon { None, Information, Exclamation, Critical };

// Tells the performer something and waits for OK. Every user-visible failure goes through here
// so that tests can read the exact text instead of a person clicking a box away.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;

    // UI thread only. Blocks until the box is dismissed (the real one is modal).
    virtual void show(const QString& text, const QString& title, MessageIcon icon) = 0;

    // UI thread only. A yes/no question; true means yes. Blocks like show().
    virtual bool confirm(const QString& text, const QString& title) = 0;
};

} // namespace mt
