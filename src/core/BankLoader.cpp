#include "core/BankLoader.h"

#include "core/TrackBank.h"
#include "core/TrackSound.h"

namespace mt {

BankLoader::BankLoader(TrackBank& bank, TrackSound& sound, Tell tell)
    : m_bank(bank), m_sound(sound), m_tell(std::move(tell)) {}

bool BankLoader::reload(int index, const QString& path, std::function<void(Track&)> failed) {
    WavInfo info;
    const bool readable = m_sound.readFormat(path, info);
    if (readable) {
        m_bank.tracks[index].rateRatio = 1.0f;
        m_bank.takeFormat(index, info, TrackBank::LengthFrom::Ratio);
    }
    // A file that is gone loads nothing, yet waits its turn behind the loads begun before it,
    // so that a set's messages come in track order.
    m_bank.loadSound(index, readable ? path : QString(),
                     [this, index, readable, failed = std::move(failed)](Track& t) {
                         if (!readable) {
                             m_tell(TrackMovedMessage(index));
                         }
                         if (failed) {
                             failed(t);
                         }
                     });
    return readable;
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
    if (!stored.path.isEmpty()) {
        // With no buffer (no sound device) the title and path stay for a later save.
        reload(index, stored.path, [](Track& failed) {
            failed.rateRatio = 1.0f;
            failed.length44k = 0.0f;
        });
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
        if (!t.loaded && !t.loading()) {
            continue;
        }
        m_bank.cancelLoad(i);
        if (t.loaded) {
            m_sound.release(t.buffer);
        }
        t.loaded = false;
        t.state = PlayState::Stopped;            // its sound is gone with its buffer
        t.loadState = LoadState::AwaitingDevice; // until reloadLoaded
        m_bank.touch(i);
    }
}

void BankLoader::reloadLoaded(bool deviceOpen) {
    const auto forget = [deviceOpen](Track& failed) {
        if (deviceOpen) {
            // Without a device the set keeps its files for a later save.
            failed.path.clear();
            failed.fileName.clear();
        }
    };
    for (int i = 0; i < kTrackCount; ++i) {
        Track& t = m_bank.tracks[i];
        if (t.loadState != LoadState::AwaitingDevice) {
            continue;
        }
        t.loadState = LoadState::Idle;
        reload(i, t.path, forget);
        m_bank.touch(i); // an edit may have changed its length
    }
}

} // namespace mt
