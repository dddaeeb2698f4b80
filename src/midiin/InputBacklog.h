#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace mt {

// What controllers asked of the performance while it could not be done at once, kept as the
// latest state per track and per control, so that no flood can make it grow: per track at
// most a release (of a press made before the backlog began), the latest press and the release
// after it; per bar its latest position, or the encoder turns since the last one, summed; and
// one panic, which drops the presses before it. Calls come out in the order they last
// arrived. Any thread; a short lock serialises add and take.
class InputBacklog {
public:
    enum class Op : std::uint8_t {
        Press,   // value: the velocity's gain in hundredths of a dB
        Release, // value unused
        SetVolume,
        SetPan,
        SetSpeed,
        MoveVolume,
        MovePan,
        MoveSpeed,
        Panic, // track unused
    };
    struct Call {
        Op op = Op::Panic;
        int track = 0;
        int value = 0;
        bool operator==(const Call&) const = default;
    };
    // More than the rules above can ever keep: 8 × (3 pad calls + 3 bars) + panic.
    static constexpr std::size_t kCapacity = 64;

    // True when the backlog was empty before: the caller arranges for one take().
    bool add(const Call& call);
    // Everything, oldest first; the backlog is empty after.
    std::vector<Call> take();
    bool empty() const;

private:
    // Index of the pending call matching `match`, or -1.
    template <typename Match> int find(Match match) const;
    void removeAt(int index);
    void append(const Call& call);
    void addPad(const Call& call);
    void addBar(const Call& call);

    mutable std::mutex m_mutex;
    std::array<Call, kCapacity> m_calls{};
    std::size_t m_size = 0;
};

} // namespace mt
