// CTrayIcon on the host's tray.
#include "ui/TrayIcon.h"

#include <pugixml.hpp>

#include "platform/MessageCore.h"
#include "platform/host/Host.h"
#include "ui/MenuWnd.h"
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
  if (m_tray)
    m_tray->SetMenu(MenuItemsOf("menu.xml"), [receiver](const std::string& name) {
      auto cmd = MakePayload<MenuCmd>();
      PayloadAs<MenuCmd>(cmd)->szName = FromUtf8(name);
      PostMessage(receiver, WM_MENU_CLICK, 0, 0, cmd);
    });
  return m_tray != nullptr;
}

std::vector<HostTrayItem> CTrayIcon::MenuItemsOf(const std::string& skinFile) {
  std::vector<HostTrayItem> items;
  std::string text;
  pugi::xml_document doc;
  if (!CResourceStore::Get().ReadFile(skinFile, text) || !doc.load_string(text.c_str())) return items;
  for (pugi::xpath_node node : doc.select_nodes("//MenuElement")) {
    items.push_back({node.node().attribute("name").value(), node.node().attribute("text").value()});
  }
  return items;
}

void CTrayIcon::DeleteTrayIcon() { m_tray.reset(); }

void CTrayIcon::SetTooltipText(const std::wstring& tip) {
  if (m_tray) m_tray->SetTooltip(ToUtf8(tip));
}
