#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>

#include <time.h>

namespace mt {

// Where the engine's frames are, for threads that send in time with them (the MIDI clock):
// written by the engine as it renders, read by any thread, without locks. Shared with its
// readers, so one may hold it after the engine has gone; its rate is 0 then.
class OutputClock {
public:
    // JACK's frame time counts in 32 bits and wraps.
    static constexpr double kDeviceWrap = 4294967296.0;

    // Any thread. Never blocks. The frames the engine has mixed so far.
    std::int64_t frames() const noexcept { return m_frames.load(std::memory_order_acquire); }
    // Any thread. Never blocks. The engine's frames per second; 0 once the engine has gone.
    int rate() const noexcept { return m_rate.load(std::memory_order_acquire); }
    // Any thread. Never blocks. The device's own frame (JACK's frame time, modulo kDeviceWrap)
    // at which the engine's frame `frame` plays, with its fraction when the engine converts
    // rates. False when the device has no frame clock of its own (not JACK) or while nothing
    // renders on one.
    bool deviceFrameOf(std::int64_t frame, double& deviceFrame) const noexcept {
        const double ratio = m_deviceRatio.load(std::memory_order_relaxed);
        const double offset = m_deviceOffset.load(std::memory_order_acquire);
        if (std::isnan(offset)) {
            return false;
        }
        deviceFrame = Wrap(static_cast<double>(frame) * ratio + offset);
        return true;
    }

    // Any thread. Never blocks. The engine's frame, fractional, that the device plays at its
    // frame `deviceFrame` (modulo kDeviceWrap): the one of its wraps nearest the engine's frame
    // `near` (the frames mixed by now will do). False as for deviceFrameOf.
    bool frameOfDevice(double deviceFrame, std::int64_t near, double& frame) const noexcept {
        double nearDevice = 0.0;
        if (!deviceFrameOf(near, nearDevice)) {
            return false;
        }
        const double ratio = m_deviceRatio.load(std::memory_order_relaxed);
        frame = static_cast<double>(near) +
                std::remainder(deviceFrame - nearDevice, kDeviceWrap) / ratio;
        return true;
    }
    // Any thread. Never blocks. The host time at which the engine's frame `frame` is heard, in
    // microseconds of the system's raw monotonic clock (CLOCK_MONOTONIC_RAW, the clock Ableton
    // Link counts in; see HostMicros). False while nothing renders.
    bool hostTimeOf(double frame, double& micros) const noexcept {
        const double perMicro = m_hostRate.load(std::memory_order_relaxed);
        const double offset = m_hostOffset.load(std::memory_order_acquire);
        if (std::isnan(offset) || perMicro <= 0.0) {
            return false;
        }
        micros = (frame + offset) / perMicro;
        return true;
    }
    // Any thread. Never blocks. The engine's frame, fractional, heard at host time `micros`.
    bool frameAtHostTime(double micros, double& frame) const noexcept {
        const double perMicro = m_hostRate.load(std::memory_order_relaxed);
        const double offset = m_hostOffset.load(std::memory_order_acquire);
        if (std::isnan(offset) || perMicro <= 0.0) {
            return false;
        }
        frame = micros * perMicro - offset;
        return true;
    }
    // Any thread. The host clock hostTimeOf counts in, now.
    static double HostMicros() noexcept {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC_RAW, &now);
        return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
    }

    // The engine's side: its thread while it renders, the UI thread while nothing renders.
    // Never block.
    void setFrames(std::int64_t frames) noexcept {
        m_frames.store(frames, std::memory_order_release);
    }
    void setRate(int rate) noexcept { m_rate.store(rate, std::memory_order_release); }
    // The device frame `deviceFrame` plays the engine's position `position` (a fraction of a
    // frame when converting), and the device runs `ratio` frames per engine frame.
    void setDevicePlace(std::uint32_t deviceFrame, double position, double ratio) noexcept {
        m_deviceRatio.store(ratio, std::memory_order_relaxed);
        m_deviceOffset.store(Wrap(static_cast<double>(deviceFrame) - position * ratio),
                             std::memory_order_release);
    }
    void clearDevicePlace() noexcept {
        m_deviceOffset.store(std::numeric_limits<double>::quiet_NaN(), std::memory_order_release);
    }
    // The engine's frame `frame` is heard at host time `micros`, and `perMicro` engine frames
    // pass each host microsecond (the rate as the host clock measures it).
    void setHostPlace(double frame, double micros, double perMicro) noexcept {
        m_hostRate.store(perMicro, std::memory_order_relaxed);
        m_hostOffset.store(micros * perMicro - frame, std::memory_order_release);
    }
    void clearHostPlace() noexcept {
        m_hostOffset.store(std::numeric_limits<double>::quiet_NaN(), std::memory_order_release);
    }

private:
    static double Wrap(double frame) noexcept {
        const double wrapped = std::fmod(frame, kDeviceWrap);
        return wrapped < 0.0 ? wrapped + kDeviceWrap : wrapped;
    }

    std::atomic<std::int64_t> m_frames{0};
    std::atomic<int> m_rate{0};
    // Device frame = engine frame x ratio + offset, modulo kDeviceWrap; NaN: not known.
    std::atomic<double> m_deviceOffset{std::numeric_limits<double>::quiet_NaN()};
    std::atomic<double> m_deviceRatio{1.0};
    // Host microseconds x rate = engine frame + offset; NaN: not known.
    std::atomic<double> m_hostOffset{std::numeric_limits<double>::quiet_NaN()};
    std::atomic<double> m_hostRate{0.0};
};

} // namespace mt
