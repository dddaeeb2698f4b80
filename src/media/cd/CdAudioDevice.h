#pragma once

#include "media/cd/CdImageProbe.h"
#include "media/cd/CdStream.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace mt {

class AudioSource;
class CdDisc;
class CdReader;

// The cdaudio device: an audio CD in the default drive, or a disc image chosen instead,
// played digitally through the sound library (analogue play does not exist on images, and
// modern drives have no audio cable). Positions are milliseconds from the start of the
// disc's first track, track starts on the same scale. Every method is for the UI thread and
// never waits for the audio thread; the disc is read ahead on a reader thread.
//
// A disc that goes away (an image file removed or replaced by another choice, a drive
// reporting a new medium) shows as mode "open" once; the next mode or media query takes in
// what is there now.
//
// An image is parsed here only after the probe has read it in a child (CdImageProbe). The
// child runs alongside: until its verdict has come through the event loop, open() and a
// status query on a closed device give kCdErrChecking, and an open device's mode is
// "not ready". The verdict on a file stands until the file changes (size or time).
class CdAudioDevice {
public:
    struct Options {
        bool readerThread = true; // false: nothing is read until pumpReader() (tests)
        QString probeProgram;     // the image probe; "" = the one beside the executable
        int probeTimeLimitMs = CdImageProbe::kDefaultTimeLimitMs;
    };
    using ImagePath = std::function<QString()>;          // the chosen image; empty = drive
    using LibraryHandle = std::function<std::int32_t()>; // the sound library to play through

    CdAudioDevice(ImagePath imagePath, LibraryHandle library, Options options);
    CdAudioDevice(ImagePath imagePath, LibraryHandle library)
        : CdAudioDevice(std::move(imagePath), std::move(library), Options{}) {}
    ~CdAudioDevice();
    CdAudioDevice(const CdAudioDevice&) = delete;
    CdAudioDevice& operator=(const CdAudioDevice&) = delete;

    // Each returns 0 or an MciError code. open() gives kCdErrChecking while the chosen image
    // is with the probe: asked again after the verdict, it gives that.
    std::uint32_t open();
    void close();
    bool isOpen() const { return m_open; }

    // "playing", "seeking" (playing, the sound not there yet), "paused", "stopped", "not ready"
    // (the image is with the probe) or "open" (no disc).
    const char* mode();
    bool mediaPresent();
    std::uint32_t trackCount(int& count);
    std::uint32_t currentTrack(int& track);
    std::uint32_t position(std::int64_t& ms);
    std::uint32_t trackPosition(int track, std::int64_t& ms);
    std::uint32_t length(std::int64_t& ms); // the lead-out's position
    std::uint32_t play();                   // from where the disc is, to its end
    std::uint32_t playFrom(std::int64_t ms);
    std::uint32_t seek(std::int64_t ms); // stops there
    std::uint32_t pause();
    std::uint32_t stop(); // stays where it is
    // Channel 0 = left, 1 = right. Glides, never clicks.
    std::uint32_t setChannel(int channel, bool on);

    // Takes effect at the next open(); a check under way is dropped and verdicts forgotten.
    void setOptions(Options options);
    // Whether the chosen image is with the probe. Never blocks.
    bool checkingImage() const { return m_probe != nullptr && m_probe->running(); }
    // Manual reading (Options::readerThread false): reads ahead until the ring is full.
    void pumpReader();
    std::uint64_t underruns() const { return m_stream->underruns(); }
    std::uint64_t readErrors() const;
    // How many times an image was handed to the probe since construction.
    int imageProbes() const { return m_imageProbes; }

private:
    std::uint32_t ready();
    bool refresh(); // false when the disc has just gone
    bool tryLoad();
    // The chosen image once the probe has read it: the first call hands it to the probe
    // (kCdErrChecking until the verdict); the verdict on this very file (same size and time)
    // stands until the file changes, so the panel's watch does not start a child every
    // 300 ms.
    std::unique_ptr<CdDisc> openImage(const QString& path, std::uint32_t& error);
    void takeDisc(std::unique_ptr<CdDisc> disc, const QString& source);
    void dropDisc();
    void moveTo(std::int32_t sector, bool playing);
    void syncEnd();
    void ensureAttached();
    void detach();
    std::int64_t currentFrame() const;
    std::uint32_t sectorOf(std::int64_t ms, std::int32_t& sector) const;

    enum class State { Stopped, Paused, Playing };

    ImagePath m_imagePath;
    LibraryHandle m_library;
    Options m_options;
    bool m_open = false;
    std::unique_ptr<CdDisc> m_disc;
    QString m_discSource; // the image path the disc came from; empty for the drive
    std::shared_ptr<CdStream> m_stream;
    std::unique_ptr<CdReader> m_reader;
    State m_state = State::Stopped;
    std::uint32_t m_generation = 0;
    std::int64_t m_targetFrame = 0; // where the current generation starts
    std::int32_t m_attachedLibrary = 0;
    AudioSource* m_source = nullptr; // owned by the library
    struct ImageFile {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const ImageFile&) const = default;
    };
    std::unique_ptr<CdImageProbe> m_probe;  // made with the options at the first image
    ImageFile m_probing;                    // the file the probe has, or last had
    std::optional<std::uint32_t> m_verdict; // on m_probing, once it came
    int m_imageProbes = 0;
};

} // namespace mt
