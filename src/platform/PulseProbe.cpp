#include "platform/PulseProbe.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace mt {
namespace {

using Clock = std::chrono::steady_clock;

struct Look {
    Clock::time_point started;
    std::atomic<bool> finished{false};
    std::atomic<bool> answers{false};
};

std::mutex g_mutex;
std::shared_ptr<Look> g_latest; // the last look started; it may not have come back

// Connects as PulseAnswers says; with `name`, asks the server's name too, within the same limit.
// Whether the server answered (and, with `name`, told its name).
bool LookAtServer(std::chrono::milliseconds limit, std::string* name) {
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr) {
        return false;
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Marrowtune probe");
    bool answers = false;
    if (context != nullptr &&
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const Clock::time_point deadline = Clock::now() + limit;
        struct Asked {
            std::string* name;
            bool told = false;
        } asked{name};
        pa_operation* asking = nullptr;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) {
                break;
            }
            if (state == PA_CONTEXT_READY) {
                if (name == nullptr || asked.told) {
                    answers = true;
                    break;
                }
                if (asking == nullptr) {
                    asking = pa_context_get_server_info(
                        context,
                        [](pa_context*, const pa_server_info* info, void* data) {
                            auto& a = *static_cast<Asked*>(data);
                            if (info != nullptr && info->server_name != nullptr) {
                                *a.name = info->server_name;
                            }
                            a.told = true;
                        },
                        &asked);
                    if (asking == nullptr) {
                        break;
                    }
                }
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0 ||
                pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0 ||
                pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
                break;
            }
        }
        if (asking != nullptr) {
            pa_operation_cancel(asking);
            pa_operation_unref(asking);
        }
        pa_context_disconnect(context);
    }
    if (context != nullptr) {
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return answers;
}

} // namespace

bool PulseAnswers(std::chrono::milliseconds limit) {
    return LookAtServer(limit, nullptr);
}

bool PulseIsPipeWire(std::chrono::milliseconds limit) {
    std::string name;
    return LookAtServer(limit, &name) && name.find("PipeWire") != std::string::npos;
}

std::optional<bool> PollPulse(std::chrono::milliseconds fresh) {
    const std::lock_guard lock(g_mutex);
    if (g_latest) {
        if (!g_latest->finished.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        if (Clock::now() - g_latest->started < fresh) {
            return g_latest->answers.load(std::memory_order_relaxed);
        }
    }
    auto look = std::make_shared<Look>();
    look->started = Clock::now();
    try {
        // Detached: the look ends by itself within its limit. The thread keeps what it uses.
        std::thread([look] {
            look->answers.store(PulseAnswers(), std::memory_order_relaxed);
            look->finished.store(true, std::memory_order_release);
        }).detach();
        g_latest = std::move(look);
    } catch (const std::system_error&) {
        // No thread for the look today; the next call asks again.
    }
    return std::nullopt;
}

} // namespace mt
