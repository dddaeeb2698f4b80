#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// libcdio's own declaration, names and all.
typedef struct _CdIo CdIo_t; // NOLINT(modernize-use-using,bugprone-reserved-identifier)

namespace mt {

// One audio disc through libcdio: in a drive or as a disc image (.cue/.bin, .toc, .nrg). Its
// table of contents is read once when it opens. Sectors are CD frames of 1/75 s, 588 stereo
// frames of 16-bit samples, numbered from the start of the disc's first track (LSN).
class CdDisc {
public:
    static constexpr int kFramesPerSector = 588;
    static constexpr int kSectorsPerSecond = 75;
    static constexpr int kSampleRate = 44100;

    // What can be told of the image at `path` without parsing it: kMciOk, or the MciError
    // code of a file that is missing, a cue sheet of WAVE files or one without its .bin. The
    // rest is the probe's to find (CdImageProbe).
    static std::uint32_t checkImageFile(const QString& path);
    // Opens the image in this process: only once the probe has read it without harm, or in the
    // probe itself, since libcdio's image parsers are not safe on damaged files. Null with an
    // MciError code in `error` when it cannot.
    static std::unique_ptr<CdDisc> openImageInThisProcess(const QString& path,
                                                          std::uint32_t& error);

    // The system's default CD drive, empty when there is none.
    static QByteArray defaultDrive();

    // UI thread. May block while the drive spins up. Null when the drive holds no readable disc.
    static std::unique_ptr<CdDisc> openDrive(const QByteArray& device);

    ~CdDisc();
    CdDisc(const CdDisc&) = delete;
    CdDisc& operator=(const CdDisc&) = delete;

    int trackCount() const { return static_cast<int>(m_audio.size()); }
    // The first sector of track 1..trackCount(); trackCount() + 1 gives the lead-out.
    std::int32_t trackStart(int track) const {
        return m_starts[static_cast<std::size_t>(track - 1)];
    }
    std::int32_t leadout() const { return m_starts.back(); }
    // The track a sector belongs to (1 before the first track, the last one from the lead-out).
    int trackAt(std::int32_t sector) const;
    bool isAudio(int track) const { return m_audio[static_cast<std::size_t>(track - 1)]; }
    bool bigEndian() const { return m_bigEndian; }

    // Reader thread (one at a time with present()). Reads `count` sectors from `sector` into
    // `out` (count * 588 interleaved stereo frames, host byte order). False on a read error;
    // what could not be read is silence.
    bool read(std::int32_t sector, int count, std::int16_t* out);

    // UI thread. False once the disc has gone: the image file was removed, or the drive reports
    // a change of medium.
    bool present();

private:
    CdDisc(CdIo_t* cdio, bool image, QString path, bool bigEndian);
    bool readToc();

    CdIo_t* m_cdio;
    bool m_image;
    QString m_path;
    bool m_bigEndian;
    std::vector<std::int32_t> m_starts; // one per track, then the lead-out
    std::vector<bool> m_audio;
    std::mutex m_io; // libcdio handles are not safe across threads
};

// Whether the audio of the image at `path` is stored big-endian: a cue sheet whose FILE is of
// type MOTOROLA, or a cdrdao .toc with raw (not WAVE) audio files.
bool ImageIsBigEndian(const QString& path);

} // namespace mt
