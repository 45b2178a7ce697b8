// CTrayIcon on the host's tray.
#include "ui/TrayIcon.h"

#include "platform/MessageCore.h"
#include "platform/host/Host.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"
#include "ui/WindowDefs.h"

CTrayIcon::CTrayIcon() = default;
CTrayIcon::~CTrayIcon() = default;

bool CTrayIcon::CreateTrayIcon(HWND receiver, UINT iconId, const std::wstring& tip, UINT message) {
  DeleteTrayIcon();
  std::string bytes;
  CResourceStore::Get().ReadFile("icon_" + std::to_string(iconId) + ".png", bytes);
  std::vector<unsigned char> icon(bytes.begin(), bytes.end());
  UINT msg = message ? message : WM_TRAY_ICON;
  m_tray = GetHost().CreateTray(icon, ToUtf8(tip), [receiver, iconId, msg](int button) {
    LPARAM what = button == 3 ? WM_RBUTTONUP : WM_LBUTTONUP;
    PostMessage(receiver, msg, iconId, what);
  });
  return m_tray != nullptr;
}

void CTrayIcon::DeleteTrayIcon() { m_tray.reset(); }

void CTrayIcon::SetTooltipText(const std::wstring& tip) {
  if (m_tray) m_tray->SetTooltip(ToUtf8(tip));
}
