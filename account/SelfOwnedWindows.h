// Windows that nobody keeps: the about window and the toasts are opened and forgotten by
// their callers, and each is freed when its native window is finally destroyed. This
// registry holds them in between, so no window deletes itself by hand.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "ui/WindowWnd.h"

// Keeps the window alive until ReleaseSelfOwned is called with it; returns it.
template <class T>
T* AdoptSelfOwned(std::unique_ptr<T> window);
// Hands the window back (null when it is not held); called from OnFinalMessage, where
// the returned pointer frees the object as the caller's scope ends.
std::unique_ptr<CWindowWnd> ReleaseSelfOwned(CWindowWnd* window);
// How many held windows have this window class name.
std::size_t CountSelfOwned(const std::wstring& className);
// Destroys every held window (process end, tests).
void DestroySelfOwned();

namespace detail {
void AdoptSelfOwnedWindow(std::unique_ptr<CWindowWnd> window);
}

template <class T>
T* AdoptSelfOwned(std::unique_ptr<T> window) {
  T* raw = window.get();
  detail::AdoptSelfOwnedWindow(std::move(window));
  return raw;
}
