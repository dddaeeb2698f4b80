#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace mt::test {

// A JACK client still open when its server went leaves its semaphore in /dev/shm; a test's
// private server names them after itself, so its fixture removes them as it goes, or every run
// of a test that kills its server would leave a few behind.
inline void RemoveJackSemaphores(const std::string& server) {
    std::error_code ignored;
    const std::string prefix = "jack_sem." + std::to_string(::getuid()) + "_" + server + "_";
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
        if (entry.path().filename().string().starts_with(prefix)) {
            std::filesystem::remove(entry.path(), ignored);
        }
    }
}

} // namespace mt::test
