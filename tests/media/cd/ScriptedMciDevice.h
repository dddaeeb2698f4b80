#pragma once

#include "media/cd/MciDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace mt::test {

// A cdaudio device answering from a script in order, recording each command with its reply
// buffer's length; a command not next in the script fails the test.
class ScriptedMciDevice final : public MciDevice {
public:
    struct Sent {
        std::string command;
        int replyLength = 0;
        bool operator==(const Sent&) const = default;
    };

    // The next command and what it answers.
    ScriptedMciDevice& on(std::string command, std::string reply = {}, std::uint32_t code = 0) {
        m_script.push_back({std::move(command), std::move(reply), code});
        return *this;
    }

    std::uint32_t sendString(std::string_view command, char* reply, int replyLength) override {
        sent.push_back({std::string(command), replyLength});
        if (m_script.empty()) {
            ADD_FAILURE() << "unexpected command: " << command;
            return 261;
        }
        const Step step = m_script.front();
        m_script.pop_front();
        EXPECT_EQ(step.command, command);
        if (step.code == 0 && reply != nullptr && replyLength > 0) {
            const std::size_t n =
                std::min(step.reply.size(), static_cast<std::size_t>(replyLength - 1));
            std::memcpy(reply, step.reply.data(), n);
            reply[n] = '\0';
        }
        return step.code;
    }

    bool getErrorString(std::uint32_t code, char* text, int length) override {
        const auto it = errorTexts.find(code);
        if (it == errorTexts.end()) {
            return false;
        }
        const std::size_t n = std::min(it->second.size(), static_cast<std::size_t>(length - 1));
        std::memcpy(text, it->second.data(), n);
        text[n] = '\0';
        return true;
    }

    bool done() const { return m_script.empty(); }

    std::vector<Sent> sent;
    std::map<std::uint32_t, std::string> errorTexts;

private:
    struct Step {
        std::string command;
        std::string reply;
        std::uint32_t code;
    };
    std::deque<Step> m_script;
};

} // namespace mt::test
