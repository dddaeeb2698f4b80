#include "media/midi/SmfSong.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

constexpr std::uint64_t kMaxTick = 0x7fffffffu;

// A bounds-checked cursor over [pos, end).
struct Reader {
    const std::uint8_t* pos;
    const std::uint8_t* end;

    std::size_t left() const noexcept { return static_cast<std::size_t>(end - pos); }
    bool byte(std::uint8_t& b) noexcept {
        if (pos >= end) {
            return false;
        }
        b = *pos++;
        return true;
    }
    // A variable-length quantity of at most four bytes, as SMF writes deltas and lengths.
    bool varLen(std::uint32_t& v) noexcept {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b = 0;
            if (!byte(b)) {
                return false;
            }
            v = (v << 7) | (b & 0x7fu);
            if ((b & 0x80u) == 0) {
                return true;
            }
        }
        return false;
    }
};

std::uint32_t BigEndian(const std::uint8_t* p, int bytes) noexcept {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

struct TrackResult {
    std::uint64_t endTick = 0;
};

// Reads one MTrk body into `song`, stopping quietly at the first thing that does not parse.
TrackResult ReadTrack(Reader r, SmfSong& song, QByteArray& trackName, QByteArray& text) {
    TrackResult result;
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (r.left() > 0) {
        std::uint32_t delta = 0;
        if (!r.varLen(delta)) {
            break;
        }
        tick += delta;
        if (tick > kMaxTick) {
            break;
        }
        std::uint8_t status = 0;
        if (!r.byte(status)) {
            break;
        }
        SmfEvent e;
        e.tick = static_cast<std::uint32_t>(tick);
        if (status < 0x80) {
            // Running status: this byte is the first data byte.
            if (running == 0) {
                break;
            }
            --r.pos;
            status = running;
        }
        if (status < 0xf0) {
            running = status;
            const bool oneByte = (status & 0xf0) == 0xc0 || (status & 0xf0) == 0xd0;
            std::uint8_t d1 = 0;
            std::uint8_t d2 = 0;
            if (!r.byte(d1) || (!oneByte && !r.byte(d2)) || d1 > 0x7f || d2 > 0x7f) {
                break;
            }
            e.kind = SmfEvent::Kind::Channel;
            e.status = status;
            e.data1 = d1;
            e.data2 = d2;
            song.events.push_back(e);
            result.endTick = tick;
            continue;
        }
        running = 0; // system and meta events cancel running status
        std::uint32_t length = 0;
        if (status == 0xf0 || status == 0xf7) {
            if (!r.varLen(length) || length > r.left()) {
                break;
            }
            const std::uint8_t* body = r.pos;
            r.pos += length;
            // The synth takes a system exclusive message without F0 and F7; an F7 escape
            // packet is taken as it stands.
            std::uint32_t n = length;
            if (status == 0xf0 && n > 0 && body[n - 1] == 0xf7) {
                --n;
            }
            result.endTick = tick;
            if (n == 0) {
                continue;
            }
            e.kind = SmfEvent::Kind::Sysex;
            e.value = static_cast<std::uint32_t>(song.sysexBytes.size());
            e.length = n;
            song.sysexBytes.insert(song.sysexBytes.end(), body, body + n);
            song.events.push_back(e);
            continue;
        }
        if (status != 0xff) {
            break; // F1..FE do not belong in a file
        }
        std::uint8_t type = 0;
        if (!r.byte(type) || !r.varLen(length) || length > r.left()) {
            break;
        }
        const std::uint8_t* body = r.pos;
        r.pos += length;
        result.endTick = tick;
        if (type == 0x2f) {
            break;
        }
        if (type == 0x51 && length == 3) {
            const std::uint32_t tempo = BigEndian(body, 3);
            if (tempo == 0) {
                continue; // no length of a quarter note; the previous tempo stands
            }
            e.kind = SmfEvent::Kind::Tempo;
            e.value = tempo;
            song.events.push_back(e);
        } else if (type == 0x03 && trackName.isNull()) {
            trackName = QByteArray(reinterpret_cast<const char*>(body), static_cast<int>(length));
        } else if (type == 0x01 && text.isNull()) {
            text = QByteArray(reinterpret_cast<const char*>(body), static_cast<int>(length));
        }
    }
    return result;
}

} // namespace

std::uint32_t SmfSong::initialTempo() const noexcept {
    for (const SmfEvent& e : events) {
        if (e.tick != 0) {
            break;
        }
        if (e.kind == SmfEvent::Kind::Tempo && !smpte) {
            return e.value;
        }
    }
    return kDefaultTempo;
}

QString DecodeSmfText(const QByteArray& bytes) {
    // Trailing NULs and spaces are padding, not part of the name.
    qsizetype n = bytes.size();
    while (n > 0 && (bytes[n - 1] == '\0' || bytes[n - 1] == ' ')) {
        --n;
    }
    const QByteArray trimmed = bytes.left(n);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(trimmed);
    if (!utf8.hasError()) {
        return text;
    }
    QStringDecoder sjis("Shift_JIS", QStringDecoder::Flag::Stateless);
    if (sjis.isValid()) {
        text = sjis.decode(trimmed);
        if (!sjis.hasError()) {
            return text;
        }
    }
    return QString::fromLatin1(trimmed);
}

bool ParseSmf(const std::uint8_t* data, std::size_t size, SmfSong& song) {
    song = SmfSong();
    if (data == nullptr || size < 14 || BigEndian(data, 4) != 0x4d546864u) { // "MThd"
        return false;
    }
    const std::uint32_t headerLength = BigEndian(data + 4, 4);
    const std::uint32_t format = BigEndian(data + 8, 2);
    const std::uint32_t division = BigEndian(data + 12, 2);
    if (headerLength < 6 || headerLength > size - 8 || format > 2 || division == 0) {
        return false;
    }
    if ((division & 0x8000u) != 0) {
        // SMPTE: frames per second (negative, 29 meaning 29.97) times ticks per frame.
        const int fps = 256 - static_cast<int>(division >> 8);
        const int ticksPerFrame = static_cast<int>(division & 0xffu);
        const double perSecond = (fps == 29 ? 29.97 : fps) * ticksPerFrame;
        song.smpte = true;
        song.resolution = static_cast<std::int32_t>(std::lround(perSecond / 2.0));
        if (song.resolution <= 0) {
            return false;
        }
    } else {
        song.resolution = static_cast<std::int32_t>(division);
    }

    Reader file{data, data + size};
    file.pos += std::min<std::size_t>(size, 8u + headerLength);
    QByteArray trackName;
    QByteArray text;
    std::uint64_t endTick = 0;
    while (file.left() >= 8) {
        const std::uint32_t id = BigEndian(file.pos, 4);
        const std::size_t length =
            std::min<std::size_t>(BigEndian(file.pos + 4, 4), file.left() - 8);
        file.pos += 8;
        if (id == 0x4d54726bu) { // "MTrk"
            const std::size_t before = song.events.size();
            const TrackResult t =
                ReadTrack(Reader{file.pos, file.pos + length}, song, trackName, text);
            // Each track is in tick order; merging keeps same-tick events in track order.
            std::inplace_merge(
                song.events.begin(), song.events.begin() + static_cast<std::ptrdiff_t>(before),
                song.events.end(),
                [](const SmfEvent& a, const SmfEvent& b) { return a.tick < b.tick; });
            endTick = std::max(endTick, t.endTick);
        }
        file.pos += length;
    }
    song.endTick = static_cast<std::uint32_t>(endTick);
    song.titleBytes = !trackName.isNull() ? trackName : text;
    song.title = DecodeSmfText(song.titleBytes);
    return true;
}

} // namespace mt
