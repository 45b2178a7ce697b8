// Where the player's four overlays sit for a player rectangle (screen coordinates): the
// title bar across the top, the side panel on the right edge centred vertically, the end
// and error panels centred.
#pragma once

#include "ui/UIDefs.h"

struct OverlayLayout {
  CDuiRect title;
  CDuiRect right;
  CDuiRect end;
  CDuiRect error;
};

OverlayLayout ComputeOverlayLayout(const CDuiRect& player);
