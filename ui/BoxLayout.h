// The shared arithmetic of the vertical and horizontal layouts along their main axis.
#pragma once

#include <vector>

#include "ui/Control.h"

// Places `items` along one axis inside `rc`, scrolled by `scroll`; returns the length
// the content needs (for the scroll bar).
int LayoutBox(const std::vector<CControlUI*>& items, const CDuiRect& rc, bool vertical, int childPadding,
              int scroll, int scrollCross);
