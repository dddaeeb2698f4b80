#pragma once

namespace mt {

// The mouse pointer of the whole application. Calls nest: the pointer is the hourglass while
// at least one beginWait() has no matching endWait().
class CursorService {
public:
    virtual ~CursorService() = default;

    // UI thread only.
    virtual void beginWait() = 0;
    virtual void endWait() = 0;
};

// The hourglass for one scope: shown on construction, the default pointer back on every way
// out of the scope, early returns and exceptions included.
class WaitCursor {
public:
    explicit WaitCursor(CursorService& cursor) : m_cursor(cursor) { m_cursor.beginWait(); }
    ~WaitCursor() { m_cursor.endWait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    CursorService& m_cursor;
};

} // namespace mt
