// main() for tests that run Ableton Link: re-runs this program under `unshare -n` with only
// loopback up and multicast routed there, so nothing it announces leaves the machine. Where
// unshare is not permitted, runs here with the reason in MT_NO_PRIVATE_NETWORK; the tests skip
// with it. Listing the tests needs no namespace.
#include "PrivateNetwork.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char* argv[]) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    if (!listing && std::getenv("MT_PRIVATE_NETWORK") == nullptr &&
        std::getenv("MT_NO_PRIVATE_NETWORK") == nullptr) {
        // Before any thread starts: std::system is safe here.
        if (std::system("unshare -n true 2>/dev/null") == 0) {
            ::setenv("MT_PRIVATE_NETWORK", "1", 1);
            // Loopback up, multicast routed to it, then this program again with its arguments.
            const char* setup = "ip link set lo up && ip link set lo multicast on && "
                                "ip route add 224.0.0.0/4 dev lo && exec \"$0\" \"$@\"";
            std::vector<const char*> args = {"unshare", "-n", "sh", "-c", setup};
            args.insert(args.end(), argv, argv + argc);
            args.push_back(nullptr);
            ::execvp("unshare", const_cast<char* const*>(args.data()));
        }
        ::setenv("MT_NO_PRIVATE_NETWORK",
                 "unshare -n is not permitted here (it needs root or user namespaces)", 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
