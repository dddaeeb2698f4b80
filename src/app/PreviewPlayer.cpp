#include "app/PreviewPlayer.h"

#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"

namespace mt {

PreviewPlayer::~PreviewPlayer() {
    release();
}

void PreviewPlayer::start(const QString& path, bool looping) {
    release();
    m_buffer = m_library.CreateTrackBuffer(path, 1);
    if (looping) {
        playBufferLooping(m_buffer);
    } else {
        playBuffer(m_buffer);
    }
}

void PreviewPlayer::release() {
    if (m_buffer != 0) {
        stopBuffer(m_buffer);
        freeSoundBuffer(m_buffer);
        m_buffer = 0;
    }
}

} // namespace mt
