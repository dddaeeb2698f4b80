#pragma once

#include "app/LibraryTrackSound.h"
#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"
#include "core/TrackBank.h"
#include "support/PlatformDoubles.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace mt::test {

// The tracks on the real sound library over an offline output, open for the fixture's life:
// what the performer would hear is rendered on demand from m_output. Files go in m_dir.
class OfflineBank {
protected:
    OfflineBank() { m_library.InitSoundLibrary(0, 2); }
    ~OfflineBank() { m_library.TerminateSoundLibrary(); }
    OfflineBank(const OfflineBank&) = delete;
    OfflineBank& operator=(const OfflineBank&) = delete;

    QString write(const QString& name, const QByteArray& bytes) const {
        QString path = m_dir.filePath(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    QTemporaryDir m_dir;
    RecordingMessageBoxes m_messages;
    OfflineOutput* m_output = nullptr;
    SoundDevice m_library{m_messages, [this](std::intptr_t, std::int32_t) {
                              auto offline = std::make_unique<OfflineOutput>();
                              m_output = offline.get();
                              return openSoundLibraryWith(std::move(offline));
                          }};
    LibraryTrackSound m_sound{m_library};
    TrackBank bank{m_sound};
};

} // namespace mt::test
