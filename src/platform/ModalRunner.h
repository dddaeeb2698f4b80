#pragma once

class QDialog;

namespace mt {

// Shows the program's own modal windows. Tests replace it to look at a window and close it
// instead of waiting for a person.
class ModalRunner {
public:
    virtual ~ModalRunner() = default;
    // UI thread only. Blocks until the window closes; returns its result code.
    virtual int run(QDialog& dialog) = 0;
};

} // namespace mt
