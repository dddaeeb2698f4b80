#pragma once

#include <chrono>
#include <optional>

namespace mt {

// Whether a PulseAudio server (PipeWire's too) takes a client now: a context connects, without
// starting a server, to the one libpulse would use (PULSE_SERVER, the session's socket). A
// server that does not finish the handshake within `limit` counts as absent. Any thread but
// the audio thread; blocks at most `limit`, a few milliseconds with a server and without one.
bool PulseAnswers(std::chrono::milliseconds limit = std::chrono::milliseconds(1000));

// Whether that server is PipeWire's PulseAudio side (its name says so), as PulseAnswers looks:
// false when none answers within `limit`.
bool PulseIsPipeWire(std::chrono::milliseconds limit = std::chrono::milliseconds(1000));

// Never blocks: the answer of a look started since `fresh` ago, once it is back; otherwise
// nothing yet, and a look is started on a thread of its own when none is under way. Called
// again and again, it follows the server without waiting on it.
std::optional<bool> PollPulse(std::chrono::milliseconds fresh);

} // namespace mt
