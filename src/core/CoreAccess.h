#pragma once

#include <mutex>

namespace mt {

// Who may use the core now. The core (the track bank and the sound library behind it) is
// the UI thread's: the UI thread holds this from construction on, and lends it out only
// where it is certain to be outside the core: idle at the top of its event loop, or painting
// (no paint reads the core). Meanwhile another thread (a MIDI port's) may borrow it for one
// short operation, never waiting for it, so a pad reaches the sound without waiting for a
// repaint. Everything the core does on the borrowing thread is as on the UI thread, one
// thread at a time; its signals reach the windows queued (they live on the UI thread).
class CoreAccess {
public:
    CoreAccess();  // UI thread
    ~CoreAccess(); // UI thread, with no borrower left
    CoreAccess(const CoreAccess&) = delete;
    CoreAccess& operator=(const CoreAccess&) = delete;

    // UI thread. Lending twice, or taking back what was not lent, does nothing; taking back
    // waits for a borrower's operation under way.
    void lend();
    void takeBack();
    bool lent() const { return m_lent; }

    // Any other thread. True when the core is now the caller's, until giveBack().
    bool tryBorrow() { return m_mutex.try_lock(); }
    void giveBack() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
    bool m_lent = false; // UI thread only
};

} // namespace mt
