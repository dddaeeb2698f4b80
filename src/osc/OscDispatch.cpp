#include "osc/OscDispatch.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

namespace mt {
namespace {

using Op = OscCall::Op;
using Rejection = OscDispatch::Rejection;

constexpr std::string_view kPrefix = "/marrowtune/";
constexpr std::string_view kBundle{"#bundle\0", 8};
constexpr int kMaxBundleDepth = 8;

// liblo hands its arguments out at OSC's 4-byte alignment, not the union's 8: they are read as
// bytes, never through the union's members.
template <typename T> T Read(const lo_arg* argument) {
    T value{};
    std::memcpy(&value, argument, sizeof value);
    return value;
}

// A number or a boolean in any of the types that can carry one.
bool Number(char type, const lo_arg* argument, double& value) {
    switch (type) {
    case 'i':
        value = Read<std::int32_t>(argument);
        return true;
    case 'h':
        value = static_cast<double>(Read<std::int64_t>(argument));
        return true;
    case 'f':
        value = Read<float>(argument);
        return true;
    case 'd':
        value = Read<double>(argument);
        return true;
    case 'T':
        value = 1.0;
        return true;
    case 'F':
        value = 0.0;
        return true;
    default:
        return false;
    }
}

const char* Text(char type, const lo_arg* argument) {
    return type == 's' || type == 'S' ? reinterpret_cast<const char*>(argument) : nullptr;
}

// What a message's arguments turned out to be.
struct Reading {
    Rejection rejection = Rejection::UnknownPath;
    bool ok = false;
};

// The controls a track message sets, with the range its number must lie in.
struct NumberControl {
    std::string_view verb;
    Op op;
    double lowest;
    double highest;
};
constexpr std::array<NumberControl, 8> kNumberControls{{
    {"volume", Op::Volume, -70, 0},
    {"pan", Op::Pan, -40, 40},
    {"speed", Op::Speed, 5, 9000},
    {"pitch", Op::Pitch, -1200, 1200},
    {"choke", Op::Choke, 0, 4},
    {"loop", Op::Loop, 0, 1},
    {"hold", Op::Hold, 0, 1},
    {"keeppitch", Op::KeepPitch, 0, 1},
}};

// The button-like messages: no argument, or one number (a controller's button sends 1 when
// down and 0 when up; the up does nothing, or releases for /press).
struct Button {
    std::string_view verb;
    Op op;
};
constexpr std::array<Button, 5> kTrackButtons{{{"press", Op::Press},
                                               {"release", Op::Release},
                                               {"play", Op::Play},
                                               {"stop", Op::Stop},
                                               {"toggle", Op::Toggle}}};
constexpr std::array<Button, 4> kBankButtons{{{"panic", Op::Panic},
                                              {"unsubscribe", Op::Unsubscribe},
                                              {"ping", Op::Ping},
                                              {"set/save", Op::Save}}};

template <std::size_t N> int WordIndex(const char* word, const std::array<const char*, N>& words) {
    for (std::size_t i = 0; i < N; ++i) {
        if (std::strcmp(word, words[i]) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

void OscDispatch::reject(Rejection kind, const char* detail) {
    static constexpr std::array<const char*, kRejections> kNames{
        "unknown path",       "wrong argument type", "wrong argument count",
        "value out of range", "not an OSC message",  "too busy"};
    const auto index = static_cast<std::size_t>(kind);
    if (m_rejected[index].fetch_add(1, std::memory_order_relaxed) == 0) {
        std::fprintf(stderr,
                     "marrowtune: OSC: ignored a message: %s (%s); further ones of this kind are "
                     "only counted\n",
                     kNames[index], detail);
    }
}

void OscDispatch::packet(const void* data, std::size_t size, const OscPeer& from) {
    bundle(static_cast<const char*>(data), size, from, 0);
}

void OscDispatch::bundle(const char* data, std::size_t size, const OscPeer& from, int depth) {
    if (size >= kBundle.size() && std::string_view(data, kBundle.size()) == kBundle) {
        // "#bundle", a time tag, then elements each led by its size (big-endian).
        std::size_t at = kBundle.size() + 8;
        if (size < at || depth >= kMaxBundleDepth) {
            reject(Rejection::Malformed, "bundle");
            return;
        }
        while (at < size) {
            std::uint32_t length = 0;
            if (size - at < sizeof length) {
                reject(Rejection::Malformed, "bundle element");
                return;
            }
            std::memcpy(&length, data + at, sizeof length);
            length = ntohl(length);
            at += sizeof length;
            if (length > size - at || length % 4 != 0) {
                reject(Rejection::Malformed, "bundle element");
                return;
            }
            bundle(data + at, length, from, depth + 1);
            at += length;
        }
        return;
    }
    // liblo checks the path, type tags and arguments against the size and copies them.
    int result = 0;
    lo_message parsed = lo_message_deserialise(const_cast<char*>(data), size, &result);
    if (parsed == nullptr) {
        reject(Rejection::Malformed, "message");
        return;
    }
    const char* types = lo_message_get_types(parsed);
    message(data, types != nullptr ? types : "", lo_message_get_argv(parsed),
            lo_message_get_argc(parsed), from);
    lo_message_free(parsed);
}

void OscDispatch::message(const char* path, const char* types, lo_arg** argv, int argc,
                          const OscPeer& from) {
    const std::string_view full(path);
    if (!full.starts_with(kPrefix)) {
        reject(Rejection::UnknownPath, path);
        return;
    }
    const std::string_view name = full.substr(kPrefix.size());
    OscCall call;
    call.from = from;

    const auto done = [&](Rejection kind, bool ok) {
        if (ok) {
            m_target.call(call);
        } else {
            reject(kind, path);
        }
    };
    // One number argument read into `value`; false (rejected) otherwise.
    double value = 0.0;
    const auto oneNumber = [&] {
        if (argc != 1) {
            reject(Rejection::WrongCount, path);
            return false;
        }
        if (!Number(types[0], argv[0], value)) {
            reject(Rejection::WrongType, path);
            return false;
        }
        return true;
    };
    const auto oneText = [&]() -> const char* {
        if (argc != 1) {
            reject(Rejection::WrongCount, path);
            return nullptr;
        }
        const char* text = Text(types[0], argv[0]);
        if (text == nullptr) {
            reject(Rejection::WrongType, path);
        }
        return text;
    };
    // A button: fired with no argument or a number other than 0; `up` with 0.
    const auto button = [&](Op op, std::optional<Op> up) {
        if (argc == 0) {
            call.op = op;
            m_target.call(call);
        } else if (oneNumber() && (value != 0.0 || up)) {
            call.op = value != 0.0 ? op : *up;
            m_target.call(call);
        }
    };

    if (name.starts_with("track/")) {
        const std::string_view rest = name.substr(6);
        const std::size_t slash = rest.find('/');
        const std::string_view number = rest.substr(0, slash);
        if (slash == std::string_view::npos || number.size() != 1 || number[0] < '0' ||
            number[0] > '9') {
            reject(Rejection::UnknownPath, path);
            return;
        }
        const std::string_view verb = rest.substr(slash + 1);
        call.track = number[0] - '1';
        const bool known = verb == "quantise" ||
                           std::any_of(kTrackButtons.begin(), kTrackButtons.end(),
                                       [&](const Button& b) { return b.verb == verb; }) ||
                           std::any_of(kNumberControls.begin(), kNumberControls.end(),
                                       [&](const NumberControl& c) { return c.verb == verb; });
        if (!known) {
            reject(Rejection::UnknownPath, path);
            return;
        }
        if (call.track < 0 || call.track >= kTrackCount) {
            reject(Rejection::OutOfRange, path);
            return;
        }
        for (const Button& b : kTrackButtons) {
            if (b.verb == verb) {
                button(b.op, b.op == Op::Press ? std::optional(Op::Release) : std::nullopt);
                return;
            }
        }
        for (const NumberControl& c : kNumberControls) {
            if (c.verb == verb && oneNumber()) {
                call.op = c.op;
                const bool inRange = value >= c.lowest && value <= c.highest; // NaN is not
                call.value = inRange ? static_cast<int>(std::lround(value)) : 0;
                done(Rejection::OutOfRange, inRange);
                return;
            }
        }
        if (verb == "quantise") {
            if (const char* word = oneText()) {
                call.op = Op::Quantise;
                call.value = WordIndex(word, kQuantiseWords);
                done(Rejection::OutOfRange, call.value >= 0);
            }
        }
        return;
    }
    for (const Button& b : kBankButtons) {
        if (b.verb == name && !(b.op == Op::Save && argc == 1 && types[0] == 's')) {
            button(b.op, std::nullopt);
            return;
        }
    }
    if (name == "mute" || name == "lonewolf") {
        if (oneNumber()) {
            call.op = name == "mute" ? Op::Mute : Op::LoneWolf;
            call.value = value != 0.0 ? 1 : 0;
            m_target.call(call);
        }
    } else if (name == "tempo") {
        if (oneNumber()) {
            call.op = Op::Tempo;
            call.number = value;
            done(Rejection::OutOfRange, value >= kMinBpm && value <= kMaxBpm);
        }
    } else if (name == "clock/source") {
        if (const char* word = oneText()) {
            call.op = Op::ClockSource;
            call.value = WordIndex(word, kClockSourceWords);
            done(Rejection::OutOfRange, call.value >= 0);
        }
    } else if (name == "set/open" || name == "set/save") {
        if (const char* text = oneText()) {
            call.op = name == "set/open" ? Op::Open : Op::SaveAs;
            call.text = text;
            done(Rejection::OutOfRange, !call.text.empty());
        }
    } else if (name == "subscribe") {
        call.op = Op::Subscribe;
        if (argc == 0) {
            m_target.call(call);
        } else if (const char* word = oneText()) {
            call.value = 1;
            done(Rejection::OutOfRange, std::strcmp(word, "levels") == 0);
        }
    } else {
        reject(Rejection::UnknownPath, path);
    }
}

} // namespace mt
