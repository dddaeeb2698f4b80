#pragma once

#include "DiscImage.h"

#include "audio/AudioTestKit.h"
#include "media/cd/CdAudioDevice.h"
#include "media/cd/CdAudioMci.h"
#include "media/cd/MciErrors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace mt::test {

// Runs the event loop until the device's probe has given its verdict on the image.
inline void WaitForProbe(const CdAudioDevice& device) {
    QElapsedTimer clock;
    clock.start();
    while (device.checkingImage() && clock.elapsed() < 20000) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Opens the device on its image once the probe's verdict came.
inline std::uint32_t OpenChecked(CdAudioDevice& device) {
    std::uint32_t code = device.open();
    for (; code == kCdErrChecking; code = device.open()) {
        WaitForProbe(device);
    }
    return code;
}

// Reads only when pumped (unless `readerThread`); this build's probe, hung after a second.
inline CdAudioDevice::Options TestDeviceOptions(bool readerThread = false) {
    CdAudioDevice::Options options;
    options.readerThread = readerThread;
    options.probeProgram = QStringLiteral(MT_CDPROBE_PROGRAM);
    options.probeTimeLimitMs = 1000;
    return options;
}

// A cdaudio device on a generated image through an offline library; time is what the test pulls.
class CdTestRig {
public:
    explicit CdTestRig(int rate = 44100) : library(rate) {}

    QString writeDisc(const std::vector<ToneTrack>& tracks, const DiscImageOptions& options = {},
                      const QString& name = "disc") {
        image = WriteToneDisc(dir.path(), name, tracks, options);
        return image;
    }

    // A command that must succeed; its reply.
    std::string ok(const std::string& command) {
        char reply[128] = {};
        EXPECT_EQ(send(command, reply), 0u) << command;
        return reply;
    }
    // A command's error code (0 = success).
    std::uint32_t error(const std::string& command) {
        char reply[128] = {};
        return send(command, reply);
    }
    // Sends the command, and again once the probe's verdict came when it found the image
    // with the probe.
    std::uint32_t send(const std::string& command, char (&reply)[128]) {
        for (;;) {
            const std::uint32_t code = mci.sendString(command, reply, sizeof reply);
            if (!device.checkingImage()) {
                return code;
            }
            WaitForProbe(device);
        }
    }
    std::int64_t number(const std::string& command) { return std::stoll(ok(command)); }

    // Reads ahead and renders `seconds` block by block; returns the interleaved stereo.
    std::vector<float> advance(double seconds) {
        const auto frames = static_cast<std::size_t>(seconds * rate());
        std::vector<float> out;
        out.reserve(frames * 2);
        for (std::size_t done = 0; done < frames; done += kBlock) {
            device.pumpReader();
            const std::vector<float> block = library.render(std::min(kBlock, frames - done));
            out.insert(out.end(), block.begin(), block.end());
        }
        return out;
    }
    int rate() { return library.output().config().sampleRate; }

    static constexpr std::size_t kBlock = 256;

    QTemporaryDir dir;
    QString image;
    OfflineLibrary library;
    CdAudioDevice device{[this] { return image; }, [this] { return library.handle; },
                         TestDeviceOptions()};
    CdAudioMci mci{device};
};

} // namespace mt::test
