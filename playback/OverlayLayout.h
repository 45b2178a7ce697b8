// Where the player's four overlays sit for a player rectangle (screen coordinates): the
// title bar across the top, the side panel on the right edge centred vertically, the end
// and error panels centred. And where the player itself opens.
#pragma once

#include <optional>

#include "ui/UIDefs.h"

struct OverlayLayout {
  CDuiRect title;
  CDuiRect right;
  CDuiRect end;
  CDuiRect error;
};

OverlayLayout ComputeOverlayLayout(const CDuiRect& player);

// Where a new player window of `width` x `height` opens: centred over the main window when
// one is shown, else over the work area; then moved (not shrunk) so that its top-left
// corner, and as much of the rest as fits, lies on the work area.
CDuiRect PlayerOpeningRect(const std::optional<CDuiRect>& mainWindow, const CDuiRect& workArea, int width,
                           int height);
