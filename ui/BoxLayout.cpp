// One algorithm for both box layouts: measure fixed children, share the rest among the
// flexible ones (respecting min and max), then place them in order.
#include "ui/BoxLayout.h"

#include <algorithm>

namespace {

struct Axis {
  bool vertical;
  int Main(CDuiSize s) const { return vertical ? s.cy : s.cx; }
  int Cross(CDuiSize s) const { return vertical ? s.cx : s.cy; }
  int MinMain(const CControlUI* c) const { return vertical ? c->GetMinHeight() : c->GetMinWidth(); }
  int MaxMain(const CControlUI* c) const { return vertical ? c->GetMaxHeight() : c->GetMaxWidth(); }
  int MinCross(const CControlUI* c) const { return vertical ? c->GetMinWidth() : c->GetMinHeight(); }
  int MaxCross(const CControlUI* c) const { return vertical ? c->GetMaxWidth() : c->GetMaxHeight(); }
  int PadBefore(const CDuiRect& p) const { return vertical ? p.top : p.left; }
  int PadAfter(const CDuiRect& p) const { return vertical ? p.bottom : p.right; }
  int CrossBefore(const CDuiRect& p) const { return vertical ? p.left : p.top; }
  int CrossAfter(const CDuiRect& p) const { return vertical ? p.right : p.bottom; }
};

}  // namespace

int LayoutBox(const std::vector<CControlUI*>& items, const CDuiRect& rc, bool vertical, int childPadding,
              int scroll, int scrollCross) {
  Axis ax{vertical};
  CDuiSize avail{rc.GetWidth(), rc.GetHeight()};
  int availMain = ax.Main(avail);
  int availCross = ax.Cross(avail);
  struct Slot {
    CControlUI* control;
    CDuiSize size;
    int main = 0;
  };
  std::vector<Slot> slots;
  slots.reserve(items.size());
  int fixedTotal = 0;
  int flexible = 0;
  for (CControlUI* c : items) {
    Slot s{c, c->EstimateSize(avail)};
    const CDuiRect& pad = c->GetPadding();
    fixedTotal += ax.PadBefore(pad) + ax.PadAfter(pad);
    int m = ax.Main(s.size);
    if (m == 0) {
      ++flexible;
      fixedTotal += ax.MinMain(c);
    } else {
      m = std::clamp(m, ax.MinMain(c), std::max(ax.MinMain(c), ax.MaxMain(c)));
      s.main = m;
      fixedTotal += m;
    }
    slots.push_back(s);
  }
  if (!slots.empty()) fixedTotal += childPadding * static_cast<int>(slots.size() - 1);

  // Share what is left among flexible children; those hitting min/max leave the share.
  int remaining = availMain - fixedTotal;
  for (auto& s : slots)
    if (ax.Main(s.size) == 0) remaining += ax.MinMain(s.control);
  std::vector<bool> settled(slots.size(), false);
  int open = flexible;
  bool changed = true;
  while (open > 0 && changed) {
    changed = false;
    int share = std::max(0, remaining) / open;
    for (size_t i = 0; i < slots.size(); ++i) {
      Slot& s = slots[i];
      if (ax.Main(s.size) != 0 || settled[i]) continue;
      int lo = ax.MinMain(s.control);
      int hi = std::max(lo, ax.MaxMain(s.control));
      if (share < lo || share > hi) {
        s.main = share < lo ? lo : hi;
        settled[i] = true;
        remaining -= s.main;
        --open;
        changed = true;
      }
    }
  }
  int needed = 0;
  if (open > 0) {
    int share = std::max(0, remaining) / open;
    int extra = std::max(0, remaining) - share * open;
    for (size_t i = 0; i < slots.size(); ++i) {
      Slot& s = slots[i];
      if (ax.Main(s.size) != 0 || settled[i]) continue;
      s.main = share;
      if (--open == 0) s.main += extra;  // the last flexible child takes the rounding rest
    }
  }

  int at = (vertical ? rc.top : rc.left) - scroll;
  int start = at;
  for (size_t i = 0; i < slots.size(); ++i) {
    Slot& s = slots[i];
    const CDuiRect& pad = s.control->GetPadding();
    int cross = ax.Cross(s.size);
    int crossRoom = availCross - ax.CrossBefore(pad) - ax.CrossAfter(pad);
    if (cross == 0) cross = crossRoom;
    cross =
        std::clamp(cross, ax.MinCross(s.control), std::max(ax.MinCross(s.control), ax.MaxCross(s.control)));
    at += ax.PadBefore(pad);
    int crossStart = (vertical ? rc.left : rc.top) + ax.CrossBefore(pad) - scrollCross;
    CDuiRect r = vertical ? CDuiRect{crossStart, at, crossStart + cross, at + s.main}
                          : CDuiRect{at, crossStart, at + s.main, crossStart + cross};
    s.control->SetPos(r, false);
    at += s.main + ax.PadAfter(pad);
    if (i + 1 < slots.size()) at += childPadding;
  }
  needed = at - start;
  return needed;
}
