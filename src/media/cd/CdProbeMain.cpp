// marrowtune-cdprobe <image>: opens a disc image with libcdio and reads it, so that the
// program learns in a process of its own whether the image can be trusted to this parser.
// Exit 0 when it can; see CdImageProbe for the other codes. A crash or a hang here is the
// answer "damaged".
#include "media/cd/CdImageProbe.h"

#include <QFile>

#include <sys/resource.h>

// Read by AddressSanitizer when the probe is built with it (unused otherwise): the exit code
// is the probe's answer, and a leak report from libcdio on the way out must not turn a good
// image into a refused one.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name AddressSanitizer looks up
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    // A crash is an expected answer: no core file for it.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    return mt::CdImageProbe::runInThisProcess(QFile::decodeName(argv[1]));
}
