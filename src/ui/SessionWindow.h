#pragma once

namespace mt {

class MainWindow;
class SessionGlue;

// The main window under a session manager: shown and hidden at the manager's word, hidden
// instead of closed by the performer, the session and the last message on its status line, and
// the program's end, when the manager asks for it, through the window's normal shutdown
// (settings written) without a question.
void AttachSessionWindow(SessionGlue& session, MainWindow& window);

} // namespace mt
