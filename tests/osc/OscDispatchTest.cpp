// The OSC server on 127.0.0.1 with the dispatch behind it, fed by a client socket: every path
// of the address space becomes its one call, numbers come in any OSC type, and what means
// nothing is ignored, counted, and said on stderr once per kind.
#include "osc/OscDispatch.h"
#include "OscClient.h"
#include "osc/OscServer.h"
#include "osc/OscSubscribers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>

namespace mt {
namespace {

using Op = OscCall::Op;
using Rejection = OscDispatch::Rejection;

class RecordingTarget final : public OscTarget {
public:
    void call(const OscCall& call) override {
        const std::lock_guard lock(m_mutex);
        calls.push_back(call);
        m_arrived.notify_all();
    }
    // Waits for the ping that closes a run of messages.
    bool waitForPing() {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, std::chrono::seconds(5),
                                  [this] { return !calls.empty() && calls.back().op == Op::Ping; });
    }
    std::vector<OscCall> calls;

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
};

OscCall Call(Op op, int track = -1, int value = 0, double number = 0.0, std::string text = {}) {
    return {op, track, value, number, std::move(text), {}};
}

struct Row {
    const char* path;
    std::function<void(OscMessage&)> arguments;
    OscCall expected;
};

class OscDispatchTest : public ::testing::Test {
protected:
    OscDispatchTest() {
        int error = 0;
        EXPECT_TRUE(server.start(0, false, error)) << error;
        client.emplace(server.port());
    }
    RecordingTarget target;
    OscDispatch dispatch{target};
    OscServer server{[this](const void* data, std::size_t size, const OscPeer& from) {
        dispatch.packet(data, size, from);
    }};
    std::optional<test::OscClient> client;
};

TEST_F(OscDispatchTest, EveryPathIsOneCallWhateverTypeCarriesItsNumber) {
    const auto none = [](OscMessage&) {};
    const auto number = [](auto value) {
        return [value](OscMessage& m) {
            if constexpr (std::is_same_v<decltype(value), double>) {
                lo_message_add_double(m.get(), value);
            } else if constexpr (std::is_same_v<decltype(value), std::int64_t>) {
                lo_message_add_int64(m.get(), value);
            } else {
                m.add(value);
            }
        };
    };
    const auto boolean = [](bool on) {
        return [on](OscMessage& m) {
            on ? lo_message_add_true(m.get()) : lo_message_add_false(m.get());
        };
    };
    const auto text = [](const char* t) { return [t](OscMessage& m) { m.add(t); }; };
    const std::vector<Row> rows{
        {"/marrowtune/track/1/press", none, Call(Op::Press, 0)},
        {"/marrowtune/track/8/press", number(0.0f), Call(Op::Release, 7)}, // a button's up
        {"/marrowtune/track/2/release", none, Call(Op::Release, 1)},
        {"/marrowtune/track/3/play", number(1), Call(Op::Play, 2)},
        {"/marrowtune/track/4/stop", boolean(true), Call(Op::Stop, 3)},
        {"/marrowtune/track/5/toggle", none, Call(Op::Toggle, 4)},
        {"/marrowtune/track/1/volume", number(-12.4f), Call(Op::Volume, 0, -12)},
        {"/marrowtune/track/2/pan", number(40.0), Call(Op::Pan, 1, 40)},
        {"/marrowtune/track/3/speed", number(std::int64_t{4410}), Call(Op::Speed, 2, 4410)},
        {"/marrowtune/track/4/loop", boolean(true), Call(Op::Loop, 3, 1)},
        {"/marrowtune/track/5/hold", number(0), Call(Op::Hold, 4, 0)},
        {"/marrowtune/track/6/quantise", text("2bars"), Call(Op::Quantise, 5, 5)},
        {"/marrowtune/track/7/keeppitch", boolean(false), Call(Op::KeepPitch, 6, 0)},
        {"/marrowtune/track/8/pitch", number(-1200.0f), Call(Op::Pitch, 7, -1200)},
        {"/marrowtune/track/1/choke", number(4), Call(Op::Choke, 0, 4)},
        {"/marrowtune/panic", none, Call(Op::Panic)},
        {"/marrowtune/mute", number(1), Call(Op::Mute, -1, 1)},
        {"/marrowtune/lonewolf", boolean(true), Call(Op::LoneWolf, -1, 1)},
        {"/marrowtune/tempo", number(128.5), Call(Op::Tempo, -1, 0, 128.5)},
        {"/marrowtune/clock/source", text("midi"), Call(Op::ClockSource, -1, 4)},
        {"/marrowtune/set/open", text("/sets/live.mrw"),
         Call(Op::Open, -1, 0, 0, "/sets/live.mrw")},
        {"/marrowtune/set/save", none, Call(Op::Save)},
        {"/marrowtune/set/save", text("/sets/b.mrw"), Call(Op::SaveAs, -1, 0, 0, "/sets/b.mrw")},
        {"/marrowtune/subscribe", text("levels"), Call(Op::Subscribe, -1, 1)},
        {"/marrowtune/unsubscribe", none, Call(Op::Unsubscribe)},
    };
    for (const Row& row : rows) {
        OscMessage message;
        row.arguments(message);
        client->send(row.path, message);
    }
    // A bundle's message, taken at once.
    lo_bundle bundle = lo_bundle_new({0, 1});
    lo_bundle_add_message(bundle, "/marrowtune/track/6/press", lo_message_new());
    std::vector<char> bytes(lo_bundle_length(bundle));
    std::size_t size = bytes.size();
    lo_bundle_serialise(bundle, bytes.data(), &size);
    lo_bundle_free_recursive(bundle); // the message and the bundle's copy of its path
    client->sendBytes(bytes);
    client->send("/marrowtune/ping");

    ASSERT_TRUE(target.waitForPing());
    ASSERT_EQ(target.calls.size(), rows.size() + 2);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        OscCall got = target.calls[i];
        EXPECT_EQ(ntohl(got.from.address), INADDR_LOOPBACK);
        got.from = {};
        EXPECT_EQ(got, rows[i].expected) << rows[i].path;
    }
    EXPECT_EQ(target.calls[rows.size()].op, Op::Press);
    EXPECT_EQ(target.calls[rows.size()].track, 5);
}

TEST_F(OscDispatchTest, WhatMeansNothingIsCountedAndToldOncePerKind) {
    const struct {
        const char* path;
        std::function<void(OscMessage&)> arguments;
        Rejection kind;
    } rows[] = {
        {"/marrowtune/track/1/jump", [](OscMessage&) {}, Rejection::UnknownPath},
        {"/other/press", [](OscMessage&) {}, Rejection::UnknownPath},
        {"/marrowtune/track/1/volume", [](OscMessage& m) { m.add("loud"); }, Rejection::WrongType},
        {"/marrowtune/clock/source", [](OscMessage& m) { m.add(1); }, Rejection::WrongType},
        {"/marrowtune/track/1/pan", [](OscMessage&) {}, Rejection::WrongCount},
        {"/marrowtune/tempo", [](OscMessage& m) { m.add(1.0f).add(2.0f); }, Rejection::WrongCount},
        {"/marrowtune/track/9/press", [](OscMessage&) {}, Rejection::OutOfRange},
        {"/marrowtune/track/1/volume", [](OscMessage& m) { m.add(3.0f); }, Rejection::OutOfRange},
        {"/marrowtune/track/1/speed",
         [](OscMessage& m) { m.add(std::numeric_limits<float>::quiet_NaN()); },
         Rejection::OutOfRange},
        {"/marrowtune/track/1/quantise", [](OscMessage& m) { m.add("1/3"); },
         Rejection::OutOfRange},
    };
    testing::internal::CaptureStderr();
    for (const auto& row : rows) {
        OscMessage message;
        row.arguments(message);
        client->send(row.path, message);
    }
    client->sendBytes({'n', 'o', 'p', 'e', '\0'});                // not 4-aligned
    client->sendBytes({'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'}); // no time tag
    client->send("/marrowtune/ping");
    ASSERT_TRUE(target.waitForPing());
    const std::string log = testing::internal::GetCapturedStderr();

    EXPECT_EQ(target.calls.size(), 1u) << "only the ping";
    for (const Rejection kind : {Rejection::UnknownPath, Rejection::WrongType,
                                 Rejection::WrongCount, Rejection::Malformed}) {
        EXPECT_EQ(dispatch.rejected(kind), 2u) << static_cast<int>(kind);
    }
    EXPECT_EQ(dispatch.rejected(Rejection::OutOfRange), 4u);
    int lines = 0;
    for (std::size_t at = log.find("OSC: ignored"); at != std::string::npos;
         at = log.find("OSC: ignored", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 5) << "one line for each of the five kinds:\n" << log;
}

// At most kMax subscribers at once, each for its lease from its last renewal; levels only to
// those that asked for them.
TEST(OscSubscribers, AtMostTheLimitEachForItsLeaseAndLevelsOnlyWhereAsked) {
    using namespace std::chrono_literals;
    using Added = OscSubscribers::Added;
    OscSubscribers subscribers(100ms);
    const auto now = OscSubscribers::Clock::now();
    test::OscClient plain(0);
    test::OscClient metered(0);
    ASSERT_EQ(subscribers.add(plain.peer(), false, now), Added::New);
    for (std::uint16_t port = 1; subscribers.size() < OscSubscribers::kMax; ++port) {
        ASSERT_EQ(subscribers.add({htonl(INADDR_LOOPBACK), htons(port)}, false, now), Added::New);
    }
    EXPECT_EQ(subscribers.add(metered.peer(), true, now), Added::Full);
    subscribers.remove({htonl(INADDR_LOOPBACK), htons(1)});
    EXPECT_EQ(subscribers.add(metered.peer(), true, now), Added::New);
    EXPECT_EQ(subscribers.add(plain.peer(), false, now + 50ms), Added::Renewed);
    subscribers.expire(now + 100ms);
    EXPECT_EQ(subscribers.size(), 1u) << "only the renewed one";
    ASSERT_EQ(subscribers.add(metered.peer(), true, now + 100ms), Added::New);
    subscribers.send(OscMessage().bytes("/levels"), true);
    subscribers.send(OscMessage().bytes("/state"));
    EXPECT_EQ(plain.next()->path, "/state");
    EXPECT_EQ(metered.next()->path, "/levels");
}

} // namespace
} // namespace mt
