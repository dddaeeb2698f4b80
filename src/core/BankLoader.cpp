#include "core/BankLoader.h"

#include "audio/SoundFileInfo.h"
#include "audio/WavReader.h"
#include "core/TrackBank.h"
#include "core/TrackSound.h"

namespace mt {

BankLoader::BankLoader(TrackBank& bank, TrackSound& sound, Tell tell)
    : m_bank(bank), m_sound(sound), m_tell(std::move(tell)) {}

bool BankLoader::reload(int index, const QString& path) {
    WavInfo info;
    if (!ReadSoundInfo(path, info)) {
        m_tell(TrackMovedMessage(index));
        return false;
    }
    const std::int32_t buffer = m_sound.create(path);
    if (buffer == 0) {
        return false;
    }
    Track& t = m_bank.tracks[index];
    t.rateRatio = 1.0f;
    m_bank.takeFormat(index, info, TrackBank::LengthFrom::Ratio);
    t.buffer = buffer;
    return true;
}

void BankLoader::load(int index, const StoredTrack& stored) {
    Track& t = m_bank.tracks[index];
    t.rateRatio = 1.0f;
    t.length44k = 0.0f;
    m_bank.setSpeed(index, stored.speed);
    m_bank.setVolume(index, stored.volume);
    m_bank.setPan(index, stored.pan);
    t.fileName = stored.fileName;
    t.path = stored.path;
    m_bank.unload(index);
    if (!stored.path.isEmpty() && reload(index, stored.path)) {
        t.loaded = true;
    }
    m_bank.touch(index);
    m_bank.setLoop(index, stored.loop);
    m_bank.setHold(index, stored.hold);
    m_bank.setRatio(index, stored.ratio);
}

void BankLoader::reset(int index) {
    // The ratio goes first: without it the lock's reference speed never applies here.
    m_bank.setRatio(index, QString());
    m_bank.setSpeed(index, kNormalSpeed);
    m_bank.setPan(index, 0);
    m_bank.setVolume(index, 0);
    m_bank.setHold(index, true);
    m_bank.setLoop(index, true);
    m_bank.lockedSpeeds[index] = kNormalSpeed;
    m_bank.setLoneWolfMember(index, false);
    m_bank.unload(index); // stopped with its sound, so a later load does not show "STOP"
    m_bank.clearFile(index);
    m_bank.touch(index);
}

void BankLoader::releaseSounds() {
    for (int i = 0; i < kTrackCount; ++i) {
        Track& t = m_bank.tracks[i];
        if (t.loaded) {
            m_sound.release(t.buffer);
            t.state = PlayState::Stopped; // its sound is gone with its buffer
            m_bank.touch(i);
        }
    }
}

void BankLoader::reloadLoaded(bool deviceOpen) {
    for (int i = 0; i < kTrackCount; ++i) {
        Track& t = m_bank.tracks[i];
        if (!t.loaded) {
            continue;
        }
        if (!reload(i, t.path)) {
            t.loaded = false;
            if (deviceOpen) {
                // Without a device the set keeps its files for a later save.
                t.path.clear();
                t.fileName.clear();
            }
        }
        m_bank.touch(i); // an edit may have changed its length
    }
}

} // namespace mt
