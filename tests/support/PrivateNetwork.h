#pragma once

// Ableton Link announces itself by multicast on every interface it finds, so a test that runs
// it stays in a network namespace of its own, where only loopback is: the test program re-runs
// itself there (PrivateNetworkMain.cpp) and each such test checks that it did.
#include <net/if.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace mt::test {

// Empty when loopback is this process's only network interface; else why Link may not run.
inline std::string NoPrivateNetwork() {
    if (const char* reason = std::getenv("MT_NO_PRIVATE_NETWORK")) {
        return reason;
    }
    std::string others;
    if (struct if_nameindex* interfaces = if_nameindex()) {
        for (const struct if_nameindex* i = interfaces; i->if_index != 0; ++i) {
            if (std::strcmp(i->if_name, "lo") != 0) {
                others += std::string(" ") + i->if_name;
            }
        }
        if_freenameindex(interfaces);
    } else {
        others = " (unknown)";
    }
    return others.empty() ? std::string()
                          : "interfaces other than loopback here:" + others +
                                "; Link would announce itself on them";
}

} // namespace mt::test
