// FLAC, Ogg Vorbis, Opus, MP3 and AIFF encoded here: each plays as its WAV original does; the
// text that describes a sound file.
#include "AudioTestKit.h"

#include "audio/SoundFileInfo.h"
#include "audio/WavInfoText.h"
#include "support/OfflineBank.h"
#include "support/TrackLoads.h"
#include "support/WavBytes.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <numeric>

// libsndfile 1.2 refuses some damaged Ogg Vorbis headers without clearing the vorbis_info it
// began (5.7 kB per refused open, on the library's own error path), which the damaged-file
// cases provoke.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name LeakSanitizer looks up
extern "C" const char* __lsan_default_suppressions() {
    return "leak:vorbis_info_init\n";
}

namespace mt::test {
namespace {

struct Coded {
    const char* file;
    int format;
    int rate;
    int channels;
    int lengthSlack;   // frames a lossy codec may pad or trim
    bool cutInHeaders; // its headers show a cut (else the decoder finds it)
    bool checksummed;  // its frames or pages carry checksums
    const char* shortText;
    const char* longText;
};

const Coded kCoded[] = {
    {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0, false, true, "44kHz,16bit,S,FLAC",
     "44.1kHz,16ビット,ステレオ,FLAC"},
    {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, 1152, true, true, "44kHz,S,Ogg Vorbis",
     "44.1kHz,ステレオ,Ogg Vorbis"},
    {"a.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2, 1152, true, true, "48kHz,S,Opus",
     "48kHz,ステレオ,Opus"},
    {"a.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2, 1152, false, false,
     "44kHz,S,MP3", "44.1kHz,ステレオ,MP3"},
    {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 22050, 1, 0, true, false, "22kHz,24bit,M,AIFF",
     "22.05kHz,24ビット,モノラル,AIFF"},
};

// One second: a different tone in each channel, so that a swap shows.
std::vector<float> Signal(int rate, int channels) {
    std::vector<float> x;
    for (int i = 0; i < rate; ++i) {
        for (int c = 0; c < channels; ++c) {
            x.push_back(static_cast<float>(
                0.4 * std::sin(2 * std::numbers::pi * (440.0 + 220.0 * c) * i / rate)));
        }
    }
    return x;
}

double Correlation(const std::vector<float>& a, const std::vector<float>& b) {
    const auto dot = [](const auto& x, const auto& y) {
        return std::inner_product(x.begin(), x.end(), y.begin(), 0.0);
    };
    return dot(a, b) / std::sqrt(dot(a, a) * dot(b, b));
}

class SoundFormats : public ::testing::TestWithParam<Coded>, protected OfflineBank {
protected:
    QByteArray encoded() const {
        return EncodedWav(GetParam().format, GetParam().rate, GetParam().channels,
                          Signal(GetParam().rate, GetParam().channels));
    }
    std::vector<float> playAlone(int index) {
        bank.play(index);
        auto x = m_output->render(static_cast<std::size_t>(GetParam().rate / 2));
        bank.stop(index);
        m_output->render(4096);
        return x;
    }
};

TEST_P(SoundFormats, LoadsDescribesItselfAndPlaysAsItsWavOriginal) {
    const Coded& c = GetParam();
    const QString wav = write("a.wav", Pcm16Wav(c.rate, c.channels, Signal(c.rate, c.channels)));
    const QString coded = write(c.file, encoded());
    ASSERT_EQ(bank.assign(0, wav), TrackBank::Assigned::Ok);
    ASSERT_EQ(bank.assign(1, coded), TrackBank::Assigned::Ok);
    ASSERT_TRUE(WaitForLoads(bank));
    EXPECT_NEAR(bank.track(1).frames, bank.track(0).frames, c.lengthSlack);
    EXPECT_EQ(FormatWavInfo(coded, 0), QString::fromUtf8(c.shortText));
    EXPECT_EQ(FormatWavInfo(coded, 1), QString::fromUtf8(c.longText));

    const auto original = playAlone(0), decoded = playAlone(1);
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_GT(Correlation(Channel(original, channel, 2), Channel(decoded, channel, 2)), 0.99)
            << "channel " << channel;
    }
    EXPECT_TRUE(m_messages.shown.empty());
}

// A cut file is refused, by the header read or the decoder; flipped bytes are refused where
// the format has checksums, else they load as finite samples.
TEST_P(SoundFormats, CutOrDamagedFilesAreRefusedWholeAndNeverCrash) {
    const Coded& c = GetParam();
    const QByteArray whole = encoded();
    const QString cut = write(c.file, whole.left(whole.size() * 6 / 10));
    if (c.cutInHeaders) {
        EXPECT_EQ(bank.assign(0, cut), TrackBank::Assigned::Unreadable);
    } else {
        EXPECT_EQ(bank.assign(0, cut), TrackBank::Assigned::Ok);
        ASSERT_TRUE(WaitForLoads(bank));
        ASSERT_FALSE(m_messages.shown.empty());
        EXPECT_EQ(m_messages.shown[0].text,
                  QFileInfo(cut).suffix().toUpper() + "ファイルの音声データを読み取れません。");
    }
    EXPECT_FALSE(bank.track(0).loaded);

    QByteArray damaged = whole;
    for (qsizetype at = whole.size() / 3; at < whole.size() * 2 / 3; at += whole.size() / 40) {
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
    }
    bank.assign(0, write(c.file, damaged));
    ASSERT_TRUE(WaitForLoads(bank));
    if (c.checksummed) {
        EXPECT_FALSE(bank.track(0).loaded);
    } else if (bank.track(0).loaded) {
        bank.play(0);
        for (float x : m_output->render(static_cast<std::size_t>(c.rate))) {
            ASSERT_TRUE(std::isfinite(x));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundFormats, ::testing::ValuesIn(kCoded), [](const auto& param) {
    return QFileInfo(QString::fromLatin1(param.param.file)).suffix().toStdString();
});

TEST(SoundFileListing, TheBrowserListsTheSixFormatsWhateverTheCaseOfTheirNames) {
    QTemporaryDir dir;
    const QStringList listed{"a.WAV", "b.Flac", "c.ogg", "d.OPUS", "e.mp3", "f.aif", "g.AIFF"};
    for (const QString& name : listed + QStringList{"h.txt", "i.wav.bak", "j.m4a"}) {
        ASSERT_TRUE(WriteFile(dir.filePath(name), "x"));
    }
    QDir listing(dir.path());
    listing.setNameFilters(SoundFileNameFilters());
    EXPECT_EQ(listing.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase), listed);
}

// A headerless chunk walk the WAV reader always accepted reads as WAV, as before.
TEST(SoundFileListing, AFileWithoutRiffIsStillWalkedAsWav) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bare.wav"));
    ASSERT_TRUE(WriteFile(path, Chunk("fmt ", FmtBody(1, 1, 11025, 8)) +
                                    Chunk("data", QByteArray(11025, '\x80'))));
    WavInfo info;
    SoundFormat format = SoundFormat::Flac;
    ASSERT_TRUE(ReadSoundInfo(path, info, &format));
    EXPECT_EQ(format, SoundFormat::Wav);
    EXPECT_EQ(info.frameCount, 11025);
}

// The short style rounds the rate down to whole kHz, except 32 kHz, which it knows as 0; more
// than two channels read as stereo. A WAV file's text: FileBrowserTest and TrackLoadingTest.
TEST(WavInfoText, ShortAndLongStyles) {
    const auto text = [](int rate, int bits, int channels, int style) {
        WavInfo info;
        info.samplesPerSec = rate;
        info.bitsPerSample = static_cast<std::int16_t>(bits);
        info.channels = static_cast<std::int16_t>(channels);
        return FormatWavInfo(info, style);
    };
    EXPECT_EQ(text(44100, 16, 2, 0), QStringLiteral("44kHz,16bit,S"));
    EXPECT_EQ(text(44100, 16, 2, 1), QStringLiteral("44.1kHz,16ビット,ステレオ"));
    EXPECT_EQ(text(11025, 8, 1, 1), QStringLiteral("11.025kHz,8ビット,モノラル"));
    EXPECT_EQ(text(32000, 16, 2, 0), QStringLiteral("0kHz,16bit,S"));
    EXPECT_EQ(text(48000, 24, 3, 1), QStringLiteral("48kHz,24ビット,ステレオ"));
    EXPECT_EQ(text(44100, 16, 2, 2), QString());
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("x.wav"), "not a wav"));
    EXPECT_EQ(FormatWavInfo(dir.filePath("x.wav"), 0), QString());
    EXPECT_EQ(FormatWavInfo(dir.filePath("missing.wav"), 1), QString());
}

} // namespace
} // namespace mt::test
