#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace mt {

// What opening a JACK client, without starting a server, found.
enum class JackAnswer {
    Runs,     // a server answered
    NoServer, // libjack came back: no server runs
    Stuck,    // libjack did not come back in time (see ProbeJack)
};

// How long a probe may take before libjack counts as stuck. A healthy open takes a few
// milliseconds with a server and one without.
inline constexpr std::chrono::milliseconds kJackProbeLimit{1000};

// How long to leave libjack alone after a server went: its users are closing their dead
// clients for a moment then, and an open among those closes can crash libjack.
inline constexpr std::chrono::seconds kJackSettle{2};

// Whether a JACK server answers. libjack can stop for good inside jack_client_open: a JACK
// client killed at the wrong moment leaves the lock of JACK's metadata database
// (/dev/shm/jack_db-<uid>) held, and every later open, in any process, waits on it. So the open
// is made on a thread of its own and waited for at most `limit`. One that does not come back is
// left behind; it holds libjack's own open lock, so nothing in this process may touch libjack
// again, and every later call answers Stuck at once until it comes back. Callers that overlap
// share one probe. Any thread but the audio thread; blocks at most `limit`.
JackAnswer ProbeJack(std::chrono::milliseconds limit = kJackProbeLimit);

// Never blocks: the answer of a probe started since `fresh` ago, when it is back (Stuck once
// it has taken longer than kJackProbeLimit); otherwise nothing yet, and a probe is started
// when none is under way. Called again and again, it follows the server without waiting on it.
std::optional<JackAnswer> PollJack(std::chrono::milliseconds fresh);

// What a performer or an administrator can do about Stuck, in a sentence.
std::string JackStuckReason();

// For tests: the client open a probe makes (true: a server answered); empty restores libjack's.
void SetJackOpenForTests(std::function<bool()> open);

} // namespace mt
