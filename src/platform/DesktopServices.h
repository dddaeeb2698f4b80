#pragma once

#include "platform/CursorService.h"
#include "platform/SystemServices.h"

namespace mt {

// The desktop's own trash (freedesktop.org), in the user's data folder.
class DesktopTrash final : public TrashService {
public:
    bool moveToTrash(const QString& path) override;
};

class DetachedProcessLauncher final : public ProcessLauncher {
public:
    bool start(const QString& program, const QStringList& arguments) override;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QString& url) override;
};

// The application-wide override cursor.
class OverrideCursor final : public CursorService {
public:
    void beginWait() override;
    void endWait() override;
};

} // namespace mt
