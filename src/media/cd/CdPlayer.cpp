#include "media/cd/CdPlayer.h"

namespace mt {

CdPlayer::CdPlayer(CdAudioDevice::LibraryHandle library, ModuleMCI::Tell tell)
    : device([this] { return state.imagePath; }, std::move(library)),
      mci(commands, state, std::move(tell)) {}

void CdPlayer::ShutdownCD() {
    if (!state.cdOpened) {
        return;
    }
    if (state.stopCdOnExit && state.cdMediaPresent) {
        mci.StopCD();
    }
    mci.CloseCD();
}

} // namespace mt
