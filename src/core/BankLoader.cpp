#include "core/BankLoader.h"

#include "core/TrackBank.h"
#include "core/TrackSound.h"

namespace mt {

BankLoader::BankLoader(TrackBank& bank, TrackSound& sound, Tell tell)
    : m_bank(bank), m_sound(sound), m_tell(std::move(tell)) {}

bool BankLoader::reload(int index, const QString& path, std::function<void(int index)> failed,
                        bool tellMissing) {
    WavInfo info;
    const bool readable = m_sound.readFormat(path, info);
    if (readable) {
        m_bank.takeFormat(index, info, TrackBank::LengthFrom::Ratio);
    }
    // A file that is gone loads nothing, yet waits its turn behind the loads begun before it,
    // so that a set's messages come in track order.
    m_bank.loadSound(index, readable ? path : QString(),
                     [this, readable, tellMissing, failed = std::move(failed)](int track) {
                         if (!readable && tellMissing) {
                             m_tell(TrackMovedMessage(track));
                         }
                         if (failed) {
                             failed(track);
                         }
                     });
    return readable;
}

void BankLoader::load(int index, const StoredTrack& stored, bool tellMissing) {
    m_bank.forgetFormat(index);
    m_bank.setSpeed(index, stored.speed);
    m_bank.setVolume(index, stored.volume);
    m_bank.setPan(index, stored.pan);
    m_bank.setFile(index, stored.fileName, stored.path);
    m_bank.unload(index);
    if (!stored.path.isEmpty()) {
        // With no buffer (no sound device) the title and path stay for a later save.
        reload(
            index, stored.path, [this](int failed) { m_bank.forgetFormat(failed); }, tellMissing);
    }
    m_bank.touch(index);
    m_bank.setLoop(index, stored.loop);
    m_bank.setHold(index, stored.hold);
    m_bank.setRatio(index, stored.ratio);
}

void BankLoader::loadExtras(int index, const TrackExtras& extras) {
    m_bank.setQuantise(index, extras.quantise);
    m_bank.setStopOnGrid(index, extras.stopOnGrid);
    m_bank.setStretch(index, extras.stretch);
    m_bank.setPitch(index, extras.pitchCents);
    // The lone-wolf group is no set's: a track in it stays there unless the set names another.
    if (extras.chokeGroup > 1 || m_bank.track(index).chokeGroup > 1) {
        m_bank.setChokeGroup(index, extras.chokeGroup);
    }
}

void BankLoader::reset(int index) {
    // The ratio goes first: without it the lock's reference speed never applies here.
    m_bank.setRatio(index, QString());
    m_bank.setSpeed(index, kNormalSpeed);
    m_bank.setPan(index, 0);
    m_bank.setVolume(index, 0);
    m_bank.setHold(index, true);
    m_bank.setLoop(index, true);
    m_bank.setChokeGroup(index, 0);
    m_bank.unload(index); // stopped with its sound, so a later load does not show "STOP"
    // Once disarmed: an armed track quantised off would start at once.
    loadExtras(index, {});
    m_bank.clearFile(index);
    m_bank.touch(index);
}

void BankLoader::releaseSounds() {
    m_bank.awaitDevice();
}

void BankLoader::reloadLoaded(bool deviceOpen) {
    const auto forget = [this, deviceOpen](int failed) {
        if (deviceOpen) {
            m_bank.clearFile(failed); // without a device the set keeps its files for a save
        }
    };
    for (int i = 0; i < kTrackCount; ++i) {
        if (m_bank.endDeviceWait(i)) {
            reload(i, m_bank.track(i).path, forget);
            m_bank.touch(i); // an edit may have changed its length
        }
    }
}

} // namespace mt
