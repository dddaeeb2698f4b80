#include "media/cd/CdCommands.h"

#include "media/cd/MciDevice.h"
#include "media/cd/MciErrors.h"
#include "platform/Numbers.h"

#include <QCoreApplication>

#include <array>
#include <cctype>
#include <cstdlib>
#include <vector>

namespace mt {
namespace {

constexpr int kErrorTextLength = 1024;

std::string TrackPositionCommand(std::int32_t track) {
    return "status cdaudio position track " + std::to_string(track);
}

// The start of a failure's message: the operation that failed, named as in the code.
QString ErrorAt(const char* operation) {
    return QCoreApplication::translate("mt::CdCommands", "エラー@%1").arg(QLatin1String(operation));
}

QString WithoutTrailingBlanks(QString text) {
    while (!text.isEmpty() && text.back() == QLatin1Char(' ')) {
        text.chop(1);
    }
    return text;
}

} // namespace

std::int32_t ReplyNumber(const std::string& reply) {
    std::size_t i = 0;
    while (i < reply.size() && (reply[i] == ' ' || reply[i] == '\t')) {
        ++i;
    }
    std::string number;
    if (i < reply.size() && (reply[i] == '-' || reply[i] == '+')) {
        number.push_back(reply[i++]);
    }
    bool digits = false;
    bool point = false;
    for (; i < reply.size(); ++i) {
        const char c = reply[i];
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            digits = true;
        } else if (c != '.' || point) {
            break;
        } else {
            point = true;
        }
        number.push_back(c);
    }
    return digits ? RoundHalfEvenToInt(std::strtod(number.c_str(), nullptr)) : 0;
}

CdCommands::CdCommands(MciDevice& device, CdState& state, Tell tell)
    : m_device(&device), m_state(state), m_tell(std::move(tell)) {}

std::uint32_t CdCommands::send(const std::string& command) {
    return m_device->sendString(command, nullptr, 0);
}

std::uint32_t CdCommands::query(const std::string& command, int length, std::string& reply) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    const std::uint32_t code = m_device->sendString(command, buffer.data(), length);
    reply = buffer.data(); // up to the first NUL
    return code;
}

bool CdCommands::queryNumber(const std::string& command, int length, std::int32_t& value,
                             std::uint32_t& code) {
    std::string reply;
    code = query(command, length, reply);
    if (code != 0) {
        return false;
    }
    value = ReplyNumber(reply);
    return true;
}

QString CdCommands::rawErrorText(std::uint32_t code) {
    std::array<char, kErrorTextLength + 1> text{};
    m_device->getErrorString(code, text.data(), kErrorTextLength);
    return QString::fromUtf8(text.data());
}

QString CdCommands::GetMciErrorText(std::uint32_t code) {
    std::array<char, kErrorTextLength + 1> text{};
    if (!m_device->getErrorString(code, text.data(), kErrorTextLength)) {
        return QCoreApplication::translate("mt::CdCommands",
                                           "エラー文字列を取得することができません！！");
    }
    // The device's texts are the program's own (MciErrorText): shown in the performer's language.
    const QString described = WithoutTrailingBlanks(QString::fromUtf8(text.data()));
    return QCoreApplication::translate("mt::MciErrors", described.toUtf8().constData());
}

void CdCommands::fail(const char* operation, std::uint32_t code) {
    m_tell(ErrorAt(operation) + GetMciErrorText(code));
}

bool CdCommands::playing() const {
    return m_state.cdPlayState == CdPlayState::Playing;
}

bool CdCommands::OpenCD(bool quiet) {
    const std::uint32_t code = send("open cdaudio Shareable");
    if (code != 0) {
        if (!quiet && code != kCdErrChecking) { // not yet an answer: asked again later
            m_tell(GetMciErrorText(code) + QStringLiteral("@OpenCD"));
        }
        return false;
    }
    return true;
}

bool CdCommands::CloseCD() {
    const std::uint32_t code = send("close cdaudio");
    if (code != 0) {
        m_tell(rawErrorText(code) + QStringLiteral("@CloseCD"));
        return false;
    }
    return true;
}

std::int32_t CdCommands::GetAllTracksCD() {
    std::int32_t count = 0;
    std::uint32_t code = 0;
    if (!queryNumber("status cdaudio number of tracks wait", 80, count, code)) {
        fail("GetAllTracksCD...", code);
        return 0;
    }
    return count;
}

std::int32_t CdCommands::GetTrackCD() {
    if (!m_state.cdOpened) {
        return 0;
    }
    std::int32_t track = 0;
    std::uint32_t code = 0;
    if (!queryNumber("status cdaudio current track wait", 80, track, code)) {
        m_tell(ErrorAt("GetTrackCD...") + WithoutTrailingBlanks(rawErrorText(code)));
        return 0;
    }
    return track;
}

bool CdCommands::PlayCD() {
    const std::uint32_t code = send("play cdaudio");
    if (code != 0) {
        fail("PlayCD...", code);
        return false;
    }
    return true;
}

bool CdCommands::PauseCD() {
    const std::uint32_t code = send("pause cdaudio");
    if (code != 0) {
        fail("PauseCD...", code);
        return false;
    }
    return true;
}

bool CdCommands::StopCD() {
    const std::uint32_t code = send("stop cdaudio");
    if (code != 0) {
        fail("StopCD...", code);
        return false;
    }
    return HeadCD();
}

void CdCommands::SetCDTimeFormat() {
    const std::uint32_t code = send("set cdaudio time format milliseconds");
    if (code != 0) {
        fail("SetCDTimeFormat...", code);
    }
}

bool CdCommands::IsMediaPresentCD() {
    std::string reply;
    const std::uint32_t code = query("status cdaudio media present wait", 20, reply);
    if (code != 0) {
        fail("IsMediaPresentCD...", code);
        return false;
    }
    return reply.compare(0, 4, "true") == 0;
}

QString CdCommands::GetStatusCD(bool quiet) {
    std::string reply;
    const std::uint32_t code = query("status cdaudio mode", 20, reply);
    if (code != 0) {
        if (!quiet) {
            fail("GetStatusCD...", code);
        }
        return {};
    }
    return WithoutTrailingBlanks(QString::fromUtf8(reply));
}

std::int32_t CdCommands::GetTimeInTrackCD(std::int32_t track) {
    SetCDTimeFormat();
    std::int32_t position = 0;
    std::int32_t start = 0;
    std::uint32_t code = 0;
    if (!queryNumber("status cdaudio position", 80, position, code) ||
        !queryNumber(TrackPositionCommand(track), 80, start, code)) {
        fail("GetTime_inTrackCD...", code);
        return 0;
    }
    return position - start;
}

bool CdCommands::HeadCD() {
    std::int32_t start = 0;
    std::uint32_t code = 0;
    if (!queryNumber(TrackPositionCommand(m_state.cdCurrentTrack), 80, start, code) ||
        (code = send("seek cdaudio to " + std::to_string(start))) != 0) {
        fail("HeadCD...", code);
        return false;
    }
    return true;
}

bool CdCommands::PerfectHeadCD() {
    SetCDTimeFormat();
    std::int32_t start = 0;
    std::uint32_t code = 0;
    if (!queryNumber(TrackPositionCommand(1), 80, start, code) ||
        (code = send("seek cdaudio to " + std::to_string(start))) != 0) {
        fail("PerfectHeadCD...", code);
        return false;
    }
    return true;
}

bool CdCommands::NextCD() {
    if (m_state.cdCurrentTrack == m_state.cdTrackCount) {
        return false;
    }
    SetCDTimeFormat();
    std::int32_t start = 0;
    std::uint32_t code = 0;
    if (!queryNumber(TrackPositionCommand(m_state.cdCurrentTrack + 1), 80, start, code)) {
        fail("NextCD...", code);
        return false;
    }
    if (playing()) {
        code = send("play cdaudio from " + std::to_string(start));
        if (code != 0) {
            fail("NextCD...", code);
            return false;
        }
    } else {
        code = send("seek cdaudio to " + std::to_string(start));
        if (code != 0) {
            fail("NextCd...", code);
            return false;
        }
    }
    return true;
}

bool CdCommands::PrevCD() {
    const std::int32_t current = m_state.cdCurrentTrack;
    const std::int32_t elapsed = GetTimeInTrackCD(current);
    std::int32_t target = current;
    const char* verb = "seek cdaudio to ";
    if (playing()) {
        // Within the first second of a track (not the first), back to the previous one.
        target = elapsed <= 1000 && current != 1 ? current - 1 : current;
        verb = "play cdaudio from ";
    } else if (elapsed != 0 || current <= 1) {
        return HeadCD();
    } else {
        target = current - 1;
    }
    std::int32_t start = 0;
    std::uint32_t code = 0;
    if (!queryNumber(TrackPositionCommand(target), 20, start, code) ||
        (code = send(verb + std::to_string(start))) != 0) {
        fail("PrevCD...", code);
        return false;
    }
    return true;
}

void CdCommands::FfCD() {
    std::int32_t position = 0;
    std::uint32_t code = 0;
    if (!queryNumber("status cdaudio position", 30, position, code)) {
        m_tell(GetMciErrorText(code) + QStringLiteral("@FfCD"));
        return;
    }
    const std::string target = std::to_string(position + m_state.cdSeekStep);
    code = send((playing() ? "play cdaudio from " : "seek cdaudio to ") + target);
    if (code != 0) {
        fail("FfCD", code);
    }
}

bool CdCommands::ReCD() {
    std::int32_t position = 0;
    std::uint32_t code = 0;
    if (!queryNumber("status cdaudio position", 30, position, code)) {
        fail("ReCD...", code);
        return false;
    }
    if (position <= 5000) {
        return PrevCD();
    }
    const std::string target = std::to_string(position - m_state.cdSeekStep);
    code = send((playing() ? "play cdaudio from " : "seek cdaudio to ") + target);
    if (code != 0) {
        fail("ReCD...", code);
        return false;
    }
    return true;
}

bool CdCommands::BackToLoopStartCD() {
    std::int32_t start = 0;
    std::uint32_t code = 0;
    if (!queryNumber(TrackPositionCommand(m_state.cdCurrentTrack), 80, start, code) ||
        (code = send("play cdaudio from " + std::to_string(start + m_state.cdLoopStart))) != 0) {
        fail("BackToLoopStartCD...", code);
        return false;
    }
    return true;
}

bool CdCommands::MuteCD() {
    std::uint32_t code = send("set cdaudio audio left off");
    if (code != 0) {
        fail("MuteCD(left off)...", code);
        return false;
    }
    code = send("set cdaudio audio right off");
    if (code != 0) {
        fail("MuteCD(right off)...", code);
        return false;
    }
    return true;
}

bool CdCommands::ReMuteCD() {
    std::uint32_t code = send("set cdaudio audio left on");
    if (code != 0) {
        fail("ReMuteCD(left on)...", code);
        return false;
    }
    code = send("set cdaudio audio right on");
    if (code != 0) {
        fail("ReMuteCD(right on)...", code);
        return false;
    }
    return true;
}

} // namespace mt
