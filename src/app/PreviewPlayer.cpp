#include "app/PreviewPlayer.h"

#include "audio/DsCalls.h"
#include "audio/VbDSound.h"

namespace mt {

PreviewPlayer::~PreviewPlayer() {
    release();
}

void PreviewPlayer::start(const QString& path, bool looping) {
    release();
    m_buffer = m_library.CreateTrackBuffer(path, 1);
    if (looping) {
        dsPlayLooping(m_buffer);
    } else {
        dsPlay(m_buffer);
    }
}

void PreviewPlayer::release() {
    if (m_buffer != 0) {
        dsStop(m_buffer);
        dsFree(m_buffer);
        m_buffer = 0;
    }
}

} // namespace mt
