// The registry of self-owned windows (main thread only, like every window).
#include "account/SelfOwnedWindows.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<std::unique_ptr<CWindowWnd>>& Held() {
  static std::vector<std::unique_ptr<CWindowWnd>> held;
  return held;
}
}  // namespace

namespace detail {
void AdoptSelfOwnedWindow(std::unique_ptr<CWindowWnd> window) {
  if (window) Held().push_back(std::move(window));
}
}  // namespace detail

std::unique_ptr<CWindowWnd> ReleaseSelfOwned(CWindowWnd* window) {
  auto& held = Held();
  auto it = std::find_if(held.begin(), held.end(), [window](const auto& w) { return w.get() == window; });
  if (it == held.end()) return nullptr;
  std::unique_ptr<CWindowWnd> out = std::move(*it);
  held.erase(it);
  return out;
}

std::size_t CountSelfOwned(const std::wstring& className) {
  return static_cast<std::size_t>(std::count_if(
      Held().begin(), Held().end(), [&](const auto& w) { return w->GetWindowClassName() == className; }));
}

void DestroySelfOwned() {
  // Take each window out before destroying it: its final step then finds nothing to
  // release, and the object is freed here. Layers it owns release themselves meanwhile.
  while (!Held().empty()) {
    std::unique_ptr<CWindowWnd> window = std::move(Held().back());
    Held().pop_back();
    if (window->GetHWND() != kNoWindow) window->DestroyWindow();
  }
}
