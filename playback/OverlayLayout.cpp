#include "playback/OverlayLayout.h"

#include <algorithm>

#include "playback/VideoErrorDlg.h"
#include "playback/VideoPlayEndDlg.h"
#include "playback/VideoRightDlg.h"
#include "playback/VideoTitleDlg.h"

namespace {
CDuiRect Centred(const CDuiRect& player, int width, int height) {
  int left = player.left + (player.GetWidth() - width) / 2;
  int top = player.top + (player.GetHeight() - height) / 2;
  return {left, top, left + width, top + height};
}
}  // namespace

OverlayLayout ComputeOverlayLayout(const CDuiRect& player) {
  OverlayLayout layout;
  layout.title = {player.left, player.top, player.right, player.top + VideoTitleDlg::kHeight};
  int rightTop = player.top + (player.GetHeight() - VideoRightDlg::kHeight) / 2;
  layout.right = {player.right - VideoRightDlg::kWidth, rightTop, player.right,
                  rightTop + VideoRightDlg::kHeight};
  layout.end = Centred(player, VideoPlayEndDlg::kWidth, VideoPlayEndDlg::kHeight);
  layout.error = Centred(player, VideoErrorDlg::kWidth, VideoErrorDlg::kHeight);
  return layout;
}

CDuiRect PlayerOpeningRect(const std::optional<CDuiRect>& mainWindow, const CDuiRect& workArea, int width,
                           int height) {
  CDuiRect rect = Centred(mainWindow.value_or(workArea), width, height);
  // A main window partly off the screen must not take the player's title bar with it.
  int dx = std::max(0, workArea.left - rect.left) -
           std::max(0, std::min(rect.right - workArea.right, rect.left - workArea.left));
  int dy = std::max(0, workArea.top - rect.top) -
           std::max(0, std::min(rect.bottom - workArea.bottom, rect.top - workArea.top));
  rect.Offset(dx, dy);
  return rect;
}
