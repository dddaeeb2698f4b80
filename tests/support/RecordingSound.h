#pragma once

#include "core/TrackSound.h"

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace mt::test {

using Call = std::pair<std::int32_t, std::int32_t>; // buffer, value

// The sound library as the tracks see it, recording what they ask for.
class RecordingSound final : public TrackSound {
public:
    using Reader = std::function<bool(const QString& path, WavInfo& info)>;
    // With no reader every file is unreadable; tests that assign files pass ReadWavInfo.
    explicit RecordingSound(Reader reader = {}) : m_reader(std::move(reader)) {}

    bool readFormat(const QString& path, WavInfo& info) override {
        return m_reader && m_reader(path, info);
    }
    std::int32_t create(const QString&) override { return refuse ? 0 : ++lastBuffer; }
    void release(std::int32_t buffer) override { released.push_back(buffer); }
    void play(std::int32_t buffer, std::int32_t volume, std::int32_t pan, std::int32_t frequency,
              bool looping) override {
        started.push_back({buffer, volume, pan, frequency, looping});
        sounding[buffer] = true;
    }
    void stop(std::int32_t buffer) override { sounding[buffer] = false; }
    void setVolume(std::int32_t buffer, std::int32_t v) override {
        volumes.emplace_back(buffer, v);
    }
    void setPan(std::int32_t buffer, std::int32_t pan) override { pans.emplace_back(buffer, pan); }
    void setFrequency(std::int32_t buffer, std::int32_t hz) override {
        frequencies.emplace_back(buffer, hz);
    }

    struct Start {
        std::int32_t buffer, volume, pan, frequency;
        bool looping;
    };
    bool refuse = false;
    std::int32_t lastBuffer = 100;
    std::vector<std::int32_t> released;
    std::vector<Start> started;
    std::map<std::int32_t, bool> sounding;
    std::vector<Call> volumes, pans, frequencies;

private:
    Reader m_reader;
};

} // namespace mt::test
