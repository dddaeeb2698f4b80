// marrowtune-cdprobe <image>: opens a disc image with libcdio and reads it, so that the
// program learns in a process of its own whether the image can be trusted to this parser.
// Exit 0 when it can; see CdImageProbe for the other codes. A crash or a hang here is the
// answer "damaged".
#include "media/cd/CdImageProbe.h"

#include <QFile>

#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    // A crash is an expected answer: no core file for it.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    return mt::CdImageProbe::runInThisProcess(QFile::decodeName(argv[1]));
}
