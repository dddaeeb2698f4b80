#include "SmfBytes.h"
#include "support/WavBytes.h"

#include <gtest/gtest.h>

namespace mt::test {
namespace {

void Put32(QByteArray& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        b.append(static_cast<char>((v >> shift) & 0xffu));
    }
}

std::uint8_t B(std::size_t v) {
    return static_cast<std::uint8_t>(v);
}

} // namespace

void SmfTrack::delta(std::uint32_t ticks) {
    char groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(ticks & 0x7fu);
        ticks >>= 7;
    } while (ticks != 0);
    while (n > 0) {
        --n;
        m_bytes.append(static_cast<char>(groups[n] | (n > 0 ? 0x80 : 0)));
    }
}

SmfTrack& SmfTrack::raw(std::uint32_t d, std::initializer_list<std::uint8_t> bytes) {
    delta(d);
    for (std::uint8_t b : bytes) {
        m_bytes.append(static_cast<char>(b));
    }
    return *this;
}

SmfTrack& SmfTrack::noteOn(std::uint32_t d, int channel, int key, int velocity) {
    return raw(d, {B(0x90 | channel), B(key), B(velocity)});
}

SmfTrack& SmfTrack::noteOff(std::uint32_t d, int channel, int key) {
    return raw(d, {B(0x80 | channel), B(key), 0});
}

SmfTrack& SmfTrack::program(std::uint32_t d, int channel, int program) {
    return raw(d, {B(0xc0 | channel), B(program)});
}

SmfTrack& SmfTrack::tempo(std::uint32_t d, std::uint32_t us) {
    return raw(d, {0xff, 0x51, 0x03, B(us >> 16), B(us >> 8), B(us)});
}

SmfTrack& SmfTrack::meta(std::uint32_t d, int type, const QByteArray& text) {
    raw(d, {0xff, B(type), B(text.size())});
    m_bytes.append(text);
    return *this;
}

SmfTrack& SmfTrack::sysex(std::uint32_t d, std::initializer_list<std::uint8_t> body) {
    raw(d, {0xf0, B(body.size() + 1)});
    m_bytes.append(reinterpret_cast<const char*>(body.begin()), std::ssize(body)).append('\xf7');
    return *this;
}

SmfTrack& SmfTrack::end(std::uint32_t d) {
    return raw(d, {0xff, 0x2f, 0x00});
}

QByteArray Smf(std::uint16_t division, const std::vector<SmfTrack>& tracks, std::uint16_t format) {
    QByteArray b("MThd");
    Put32(b, 6);
    b.append(static_cast<char>(format >> 8)).append(static_cast<char>(format & 0xff));
    const auto count = static_cast<std::uint16_t>(tracks.size());
    b.append(static_cast<char>(count >> 8)).append(static_cast<char>(count & 0xff));
    b.append(static_cast<char>(division >> 8)).append(static_cast<char>(division & 0xff));
    for (const SmfTrack& t : tracks) {
        b.append("MTrk");
        Put32(b, static_cast<std::uint32_t>(t.bytes().size()));
        b.append(t.bytes());
    }
    return b;
}

QByteArray HeldNoteSong(int bpm, int bars, const QByteArray& title) {
    SmfTrack conductor;
    conductor.meta(0, 0x03, title).tempo(0, static_cast<std::uint32_t>(60000000 / bpm));
    conductor.end(static_cast<std::uint32_t>(bars * 1920));
    SmfTrack organ;
    organ.program(0, 0, 16).noteOn(0, 0, 69).noteOff(static_cast<std::uint32_t>(bars * 1920), 0,
                                                     69);
    organ.end();
    return Smf(480, {conductor, organ});
}

QByteArray BeatSong(int bpm, int bars) {
    SmfTrack conductor;
    conductor.tempo(0, static_cast<std::uint32_t>(60000000 / bpm));
    conductor.end(static_cast<std::uint32_t>(bars * 1920));
    SmfTrack organ;
    organ.program(0, 0, 16);
    for (int beat = 0; beat < bars * 4; ++beat) {
        organ.noteOn(beat == 0 ? 0 : 120, 0, 69).noteOff(360, 0, 69);
    }
    organ.end();
    return Smf(480, {conductor, organ});
}

QString WriteSong(const QTemporaryDir& dir, const QByteArray& song) {
    static int written = 0;
    QString path = dir.filePath(QStringLiteral("song%1.mid").arg(++written));
    EXPECT_TRUE(WriteFile(path, song));
    return path;
}

} // namespace mt::test

// FluidSynth's OpenMP threads sync inside libgomp where ThreadSanitizer cannot see.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name ThreadSanitizer looks up
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libgomp.so.1\n";
}
