#pragma once

#include "platform/WindowHints.h"

// Wayland has no protocol for a window on every workspace, out of the task bar or kept above:
// those ask nothing here. What a utility window needs on a tiling compositor is to float over
// the window it serves rather than take a tile from it, which prepareToShow sees to.
class WlrootsWindowHints : public WindowHints::Backend {
public:
    bool keepsAbove() const override { return false; }
    void prepareToShow(QWidget* window, bool above) override;
};
