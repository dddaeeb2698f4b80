#pragma once

#include "osc/OscCall.h"

#include <lo/lo.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace mt {

// Reads OSC messages under /marrowtune (docs/OSC.md) into calls on a target: every message that
// means something is exactly one call. What means nothing (an unknown path, an argument of a
// type that cannot stand for the value, too few or too many arguments, a value outside its
// control's range, bytes that are no OSC) is ignored, counted by kind, and said on stderr once
// per kind, so a flood of them costs one line. Numbers may come as i, h, f or d and booleans as
// those or T/F. Bundles are opened and their messages taken at once, in order, whatever their
// time tag. One thread at a time; the counters may be read from any.
class OscDispatch {
public:
    enum class Rejection : std::uint8_t {
        UnknownPath,
        WrongType,
        WrongCount,
        OutOfRange,
        Malformed,
        Busy
    };
    static constexpr std::size_t kRejections = 6;

    // The words /quantise takes, in the Quantise enum's order (as a set's companion writes
    // them), and /clock/source, in the TempoSource enum's order.
    static constexpr std::array<const char*, 7> kQuantiseWords{"off", "1/16",  "1/8",  "beat",
                                                               "bar", "2bars", "4bars"};
    static constexpr std::array<const char*, 6> kClockSourceWords{"typed", "tap",  "reference",
                                                                  "link",  "midi", "jack"};
    static constexpr int kTrackCount = 8;
    static constexpr double kMinBpm = 20.0, kMaxBpm = 300.0; // the beat clock's range

    explicit OscDispatch(OscTarget& target) : m_target(target) {}

    // One datagram: a message or a bundle of them.
    void packet(const void* data, std::size_t size, const OscPeer& from);
    // One message, its arguments as liblo read them (`types` without the comma).
    void message(const char* path, const char* types, lo_arg** argv, int argc, const OscPeer& from);

    // Counts one more of `kind`; the first of its kind is said on stderr with `detail`.
    void reject(Rejection kind, const char* detail);
    std::uint64_t rejected(Rejection kind) const {
        return m_rejected[static_cast<std::size_t>(kind)].load(std::memory_order_relaxed);
    }

private:
    void bundle(const char* data, std::size_t size, const OscPeer& from, int depth);
    void trackMessage(int track, const char* verb, const char* types, lo_arg** argv, int argc,
                      OscCall& call);

    OscTarget& m_target;
    std::array<std::atomic<std::uint64_t>, kRejections> m_rejected{};
};

} // namespace mt
