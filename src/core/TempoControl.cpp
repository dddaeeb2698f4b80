#include "core/TempoControl.h"

#include "core/ReferenceBar.h"
#include "core/TempoMath.h"
#include "core/TrackBank.h"
#include "platform/Numbers.h"

#include <vector>

namespace mt {

TempoControl::TempoControl(TrackBank& bank, const ReferenceBar& cdBar, const ReferenceBar& midiBar,
                           const ReferenceBar& clockBar, MessageSink tell)
    : m_bank(bank), m_cdBar(cdBar), m_midiBar(midiBar), m_clockBar(clockBar),
      m_tell(std::move(tell)) {}

TempoControl::ReferenceTrack TempoControl::referenceTrack(const Speeds& speeds) const {
    ReferenceTrack ref; // the last marked track wins, loaded or not
    for (int i = 0; i < kTrackCount; ++i) {
        if (m_bank.track(i).ratio == kReferenceMark) {
            ref = {m_bank.track(i).length44k, static_cast<double>(speeds[i])};
        }
    }
    return ref;
}

TempoControl::Ratios TempoControl::ratios() const {
    Ratios ratio{};
    for (int i = 0; i < kTrackCount; ++i) {
        const Track& t = m_bank.track(i);
        ratio[i] = t.loaded ? RatioOfComboText(t.ratio) : 0.0;
    }
    return ratio;
}

TempoControl::Speeds TempoControl::speeds() const {
    Speeds s{};
    for (int i = 0; i < kTrackCount; ++i) {
        s[i] = m_bank.track(i).speed;
    }
    return s;
}

void TempoControl::apply(const Speeds& speeds) {
    for (int i = 0; i < kTrackCount; ++i) {
        m_bank.setSpeed(i, speeds[i]);
    }
}

void TempoControl::match() {
    const Ratios ratio = ratios();
    std::array<double, kTrackCount> target{};
    if (m_reference == TempoReference::Track) {
        const ReferenceTrack ref = referenceTrack(speeds());
        for (int i = 0; i < kTrackCount; ++i) {
            target[i] = ref.length44k != 0.0
                            ? m_bank.track(i).length44k * ratio[i] * ref.speed / ref.length44k
                            : ratio[i] * kNormalSpeed;
        }
    } else {
        const double bar = m_reference == TempoReference::Cd     ? m_cdBar.barSeconds()
                           : m_reference == TempoReference::Midi ? m_midiBar.barSeconds()
                                                                 : m_clockBar.barSeconds();
        for (int i = 0; i < kTrackCount; ++i) {
            target[i] = m_bank.track(i).length44k * ratio[i] / bar / 10.0;
        }
    }
    matchToTargets(target, ratio);
}

void TempoControl::matchToTargets(const std::array<double, kTrackCount>& targets,
                                  const Ratios& ratio) {
    Speeds next = speeds();
    std::vector<QString> refusals;
    for (int i = 0; i < kTrackCount; ++i) {
        if (ratio[i] <= 0.0) {
            continue; // empty, unmatched or the reference itself
        }
        const SpeedTarget t = JudgeSpeedTarget(targets[i]);
        if (t.verdict == SpeedTarget::Verdict::Apply) {
            next[i] = t.speed;
        } else {
            refusals.push_back(RefusedTargetMessage(t.verdict, i));
        }
    }
    apply(next);
    for (const QString& refusal : refusals) {
        m_tell(refusal);
    }
}

void TempoControl::referenceBarChanged(TempoReference which) {
    if (m_lockOn && m_reference == which && which != TempoReference::Track) {
        match();
    }
}

void TempoControl::useReference(TempoReference which, bool on) {
    if (on) {
        m_reference = which;
    } else if (m_reference == which) {
        m_reference = TempoReference::Track;
    }
    updateLockAvailability();
}

void TempoControl::chooseRatio(int index, const QString& ratio) {
    m_bank.setRatio(index, ratio);
    updateLockAvailability();
}

void TempoControl::updateLockAvailability() {
    bool present = m_reference != TempoReference::Track;
    for (int i = 0; i < kTrackCount; ++i) {
        present = present || m_bank.track(i).ratio == kReferenceMark;
    }
    m_lockAvailable = present;
    m_lockOn = m_lockOn && present;
    emit stateChanged();
}

void TempoControl::toggleLock() {
    if (m_lockAvailable && !m_lockOn) {
        m_lockOn = true;
        for (int i = 0; i < kTrackCount; ++i) {
            if (m_bank.track(i).ratio == kReferenceMark) {
                m_lockedSpeed = m_bank.track(i).speed; // without a marked track: kept
            }
        }
    } else {
        m_lockOn = false;
    }
    emit stateChanged();
}

void TempoControl::switchLockOff() {
    m_lockOn = false;
    m_lockAvailable = false;
    m_capturedSpeeds.fill(kNormalSpeed);
    emit stateChanged();
}

void TempoControl::captureSpeeds() {
    if (m_lockOn) {
        m_capturedSpeeds = speeds();
    }
}

bool TempoControl::rematch(Speeds& speeds) const {
    const ReferenceTrack ref = referenceTrack(speeds);
    const Ratios ratio = ratios();
    Speeds next = speeds;
    for (int j = 0; j < kTrackCount; ++j) {
        if (ratio[j] <= 0.0) {
            continue;
        }
        // Against the reference track's length, or, when the reference track is empty,
        // against the file's own speed in a narrower range.
        const double target = ref.length44k != 0.0
                                  ? m_bank.track(j).length44k * ratio[j] * ref.speed / ref.length44k
                                  : ratio[j] * kNormalSpeed;
        const double highest = ref.length44k != 0.0 ? 8990 : 8790;
        if (target < 6 || target > highest) {
            return false;
        }
        next[j] = RoundHalfEvenToInt(target);
    }
    speeds = next;
    return true;
}

void TempoControl::moveSpeed(int index, int speed) {
    const Track& moved = m_bank.track(index);
    if (moved.speed == speed) {
        return;
    }
    Speeds next = speeds();
    next[index] = speed;
    if (m_lockOn && moved.loaded) {
        if (moved.ratio == kReferenceMark) {
            m_rematchOk = rematch(next);
        }
        if (!m_rematchOk && m_reference == TempoReference::Track) {
            // Speeds never captured hold 0, outside the bar's range: those stay.
            for (int j = 0; j < kTrackCount; ++j) {
                if (m_capturedSpeeds[j] != 0) {
                    next[j] = m_capturedSpeeds[j];
                }
            }
        }
    }
    apply(next);
    if (next[index] != speed) {
        m_bank.touch(index); // the speed asked for was not taken: show the one kept
    }
}

void TempoControl::resetSpeed(int index) {
    int speed = kNormalSpeed;
    if (m_lockOn && m_bank.track(index).ratio == kReferenceMark && m_lockedSpeed != 0) {
        speed = m_lockedSpeed;
    }
    moveSpeed(index, speed);
}

} // namespace mt
