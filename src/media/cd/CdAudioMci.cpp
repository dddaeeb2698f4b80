#include "media/cd/CdAudioMci.h"

#include "media/cd/CdAudioDevice.h"
#include "media/cd/MciErrors.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace mt {
namespace {

std::vector<std::string> Words(std::string_view command) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : command) {
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

// An unsigned decimal integer, digits only.
bool ParseNumber(const std::string& word, std::int64_t& value) {
    if (word.empty() || word.size() > 15 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    value = std::stoll(word);
    return true;
}

bool Is(const std::vector<std::string>& words, std::initializer_list<const char*> expected) {
    if (words.size() != expected.size()) {
        return false;
    }
    return std::equal(words.begin(), words.end(), expected.begin(),
                      [](const std::string& w, const char* e) { return w == e; });
}

// Copies `text` with its NUL into reply[0 .. length), cutting at a whole UTF-8 character.
void CopyCut(const char* text, char* out, int length) {
    std::size_t n = std::min(std::strlen(text), static_cast<std::size_t>(length - 1));
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u) {
        --n; // text[n] continues a character that would be cut
    }
    std::memcpy(out, text, n);
    out[n] = '\0';
}

} // namespace

std::uint32_t CdAudioMci::sendString(std::string_view command, char* reply, int replyLength) {
    std::vector<std::string> words = Words(command);
    const bool isPlay = !words.empty() && words.front() == "play";
    if (!isPlay) {
        std::erase(words, std::string("wait"));
    }
    if (words.empty()) {
        return kMciErrUnrecognizedCommand;
    }
    if (words.size() < 2) {
        return kMciErrMissingParameter;
    }
    if (words[1] != "cdaudio") {
        return kMciErrInvalidDeviceName;
    }
    const std::string& verb = words[0];
    const std::vector<std::string> rest(words.begin() + 2, words.end());
    std::string text;
    std::uint32_t error = kMciOk;
    std::int64_t ms = 0;

    if (verb == "open") {
        error =
            rest.empty() || Is(rest, {"shareable"}) ? m_device.open() : kMciErrUnrecognizedKeyword;
    } else if (!m_device.isOpen() && verb == "status") {
        // A status query opens the device for itself and closes it again, so a watch can
        // ask what is there before anyone has opened it.
        error = m_device.open();
        if (error == kMciOk) {
            error = status(rest, text);
            m_device.close();
        }
    } else if (!m_device.isOpen()) {
        error = kMciErrInvalidDeviceName;
    } else if (verb == "close") {
        m_device.close();
    } else if (verb == "status") {
        error = status(rest, text);
    } else if (verb == "set") {
        error = set(rest);
    } else if (verb == "play") {
        if (rest.empty()) {
            error = m_device.play();
        } else if (rest.size() == 2 && rest[0] == "from") {
            error = ParseNumber(rest[1], ms) ? m_device.playFrom(ms) : kMciErrBadInteger;
        } else {
            error = kMciErrUnrecognizedKeyword;
        }
    } else if (verb == "seek") {
        if (Is(rest, {"to", "start"})) {
            error = m_device.trackPosition(1, ms);
        } else if (Is(rest, {"to", "end"})) {
            error = m_device.length(ms);
        } else if (rest.size() == 2 && rest[0] == "to") {
            error = ParseNumber(rest[1], ms) ? kMciOk : kMciErrBadInteger;
        } else {
            error = rest.empty() ? kMciErrMissingParameter : kMciErrUnrecognizedKeyword;
        }
        if (error == kMciOk) {
            error = m_device.seek(ms);
        }
    } else if (verb == "pause" || verb == "stop" || verb == "resume") {
        if (!rest.empty()) {
            error = kMciErrUnrecognizedKeyword;
        } else {
            error = verb == "pause"  ? m_device.pause()
                    : verb == "stop" ? m_device.stop()
                                     : m_device.play();
        }
    } else {
        error = kMciErrUnrecognizedCommand;
    }

    if (error == kMciOk && reply != nullptr && replyLength > 0) {
        if (text.size() + 1 > static_cast<std::size_t>(replyLength)) {
            return kMciErrParamOverflow;
        }
        std::memcpy(reply, text.c_str(), text.size() + 1);
    }
    return error;
}

std::uint32_t CdAudioMci::status(const std::vector<std::string>& words, std::string& reply) {
    std::int64_t ms = 0;
    int n = 0;
    std::uint32_t error = kMciOk;
    if (Is(words, {"mode"})) {
        reply = m_device.mode();
    } else if (Is(words, {"media", "present"})) {
        reply = m_device.mediaPresent() ? "true" : "false";
    } else if (Is(words, {"number", "of", "tracks"})) {
        error = m_device.trackCount(n);
        reply = std::to_string(n);
    } else if (Is(words, {"current", "track"})) {
        error = m_device.currentTrack(n);
        reply = std::to_string(n);
    } else if (Is(words, {"position"})) {
        error = m_device.position(ms);
        reply = std::to_string(ms);
    } else if (Is(words, {"length"})) {
        error = m_device.length(ms);
        reply = std::to_string(ms);
    } else if (words.size() == 3 && words[0] == "position" && words[1] == "track") {
        std::int64_t track = 0;
        if (!ParseNumber(words[2], track)) {
            return kMciErrBadInteger;
        }
        error =
            track > 99 ? kMciErrOutOfRange : m_device.trackPosition(static_cast<int>(track), ms);
        reply = std::to_string(ms);
    } else {
        return words.empty() ? kMciErrMissingParameter : kMciErrUnrecognizedKeyword;
    }
    return error;
}

std::uint32_t CdAudioMci::set(const std::vector<std::string>& words) {
    if (words.size() == 3 && words[0] == "time" && words[1] == "format") {
        return words[2] == "milliseconds" || words[2] == "ms" ? kMciOk : kMciErrBadTimeFormat;
    }
    if (words.size() == 3 && words[0] == "audio" && (words[2] == "on" || words[2] == "off")) {
        const bool on = words[2] == "on";
        if (words[1] == "left" || words[1] == "right") {
            return m_device.setChannel(words[1] == "left" ? 0 : 1, on);
        }
        if (words[1] == "all") {
            m_device.setChannel(0, on);
            return m_device.setChannel(1, on);
        }
    }
    return words.empty() ? kMciErrMissingParameter : kMciErrUnrecognizedKeyword;
}

bool CdAudioMci::getErrorString(std::uint32_t code, char* text, int length) {
    const char* description = MciErrorText(code);
    if (description == nullptr || text == nullptr || length <= 0) {
        return false;
    }
    CopyCut(description, text, length);
    return true;
}

} // namespace mt
