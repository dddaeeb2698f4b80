#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace mt {

// What a controller's pad or knob can do.
struct MidiAction {
    enum class Kind : std::uint8_t { Press, Volume, Pan, Speed, Panic };
    Kind kind = Kind::Press;
    int track = 0; // 0..7; 0 for Panic

    friend bool operator==(const MidiAction&, const MidiAction&) = default;
};

// How a control change's value moves a bar: a knob's position, or the steps of an endless
// encoder in one of the three encodings controllers use.
enum class CcMode : std::uint8_t {
    Absolute,
    RelativeTwosComplement, // 1..63 up, 127..65 down (127 = one step down)
    RelativeBinaryOffset,   // 65.. up, ..63 down, 64 still
    RelativeSignMagnitude,  // 1..63 up, 65..127 down (65 = one step down)
};

// The message an action answers to: a note or a controller number, on one channel or any.
struct MidiTrigger {
    enum class Kind : std::uint8_t { None, Note, ControlChange };
    static constexpr int kAnyChannel = -1;
    Kind kind = Kind::None;
    int channel = kAnyChannel; // 0..15 or kAnyChannel
    int number = 0;            // note or controller number
    CcMode mode = CcMode::Absolute;

    bool matches(Kind k, int messageChannel, int messageNumber) const {
        return kind != Kind::None && kind == k && number == messageNumber &&
               (channel == kAnyChannel || channel == messageChannel);
    }
    // Whether a message could match both.
    bool overlaps(const MidiTrigger& other) const {
        return kind != Kind::None && kind == other.kind && number == other.number &&
               (channel == kAnyChannel || other.channel == kAnyChannel || channel == other.channel);
    }
    friend bool operator==(const MidiTrigger&, const MidiTrigger&) = default;
};

// Which trigger each action answers to, one each. Stored by names and numbers only (no port,
// no machine), so a setting made on one machine plays the same controller on another.
class MidiMapping {
public:
    static constexpr int kActionCount = 4 * 8 + 1;
    static constexpr int kFirstPadNote = 36; // the first bank of the usual 8-pad controllers

    // Notes 36-43 on any channel press tracks 1-8; All Sound Off (controller 120) on any
    // channel is the panic; the mix bars wait to be learnt.
    static MidiMapping defaults();

    const MidiTrigger& trigger(const MidiAction& action) const { return m_triggers[slot(action)]; }
    // Binds `trigger` to `action`, taking it from any other action it would also fire.
    void bind(const MidiAction& action, const MidiTrigger& trigger);
    // The action a message fires, and its trigger (for the encoder mode).
    struct Match {
        MidiAction action;
        MidiTrigger trigger;
    };
    std::optional<Match> match(MidiTrigger::Kind kind, int channel, int number) const;

    static MidiAction actionAt(int slot);
    // "press1".."press8", "volume1", "pan1", "speed1"..., "panic".
    static QString actionName(const MidiAction& action);
    // "none", "note any 36", "cc 10 7 absolute" (channel 1..16 as the performer counts).
    static QString triggerText(const MidiTrigger& trigger);
    static std::optional<MidiTrigger> triggerFromText(const QString& text);

    friend bool operator==(const MidiMapping&, const MidiMapping&) = default;

private:
    static int slot(const MidiAction& action);

    std::array<MidiTrigger, kActionCount> m_triggers{};
};

} // namespace mt
