#pragma once

#include "core/ReferenceBar.h"
#include "media/cd/CdPlayer.h"

namespace mt {

// The CD's bar, as the CD panel's up-down and the BPM counter set it.
class CdReferenceBar final : public ReferenceBar {
public:
    explicit CdReferenceBar(const CdPlayer& cd) : m_cd(cd) {}

    double barSeconds() const override { return m_cd.state.cdBarSeconds; }

private:
    const CdPlayer& m_cd;
};

} // namespace mt
