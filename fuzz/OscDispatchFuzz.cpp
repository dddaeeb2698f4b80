// libFuzzer target for OSC input: any datagram, a message or a bundle of them, goes through the
// dispatch the server runs, and every call that comes out names a track 0..7 (or none where the
// path names none) and a value within its control's range; what means nothing is only counted.
#include "osc/OscDispatch.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

using Op = mt::OscCall::Op;

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool Within(int value, int lowest, int highest) {
    return value >= lowest && value <= highest;
}

class CheckingTarget final : public mt::OscTarget {
public:
    void call(const mt::OscCall& call) override {
        const bool trackCall = call.op <= Op::Choke;
        Require(trackCall ? Within(call.track, 0, 7) : call.track == -1);
        switch (call.op) {
        case Op::Volume:
            Require(Within(call.value, -70, 0));
            break;
        case Op::Pan:
            Require(Within(call.value, -40, 40));
            break;
        case Op::Speed:
            Require(Within(call.value, 5, 9000));
            break;
        case Op::Pitch:
            Require(Within(call.value, -1200, 1200));
            break;
        case Op::Choke:
            Require(Within(call.value, 0, 4));
            break;
        case Op::Quantise:
            Require(Within(call.value, 0, 6));
            break;
        case Op::ClockSource:
            Require(Within(call.value, 0, 5));
            break;
        case Op::Loop:
        case Op::Hold:
        case Op::KeepPitch:
        case Op::Mute:
        case Op::LoneWolf:
        case Op::Subscribe:
            Require(Within(call.value, 0, 1));
            break;
        case Op::Tempo:
            Require(std::isfinite(call.number) && call.number >= 20.0 && call.number <= 300.0);
            break;
        case Op::Open:
        case Op::SaveAs:
            Require(!call.text.empty());
            break;
        default:
            break;
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CheckingTarget target;
    static mt::OscDispatch dispatch(target);
    dispatch.packet(data, size, {});
    return 0;
}
