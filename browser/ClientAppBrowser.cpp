// The browser engine of the UI process.
#include "browser/ClientAppBrowser.h"

#include <glib/gstdio.h>

#include <cstdlib>
#include <memory>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/LocalFileUrl.h"
#include "browser/LocalMedia.h"
#include "browser/renderer/BridgeProtocol.h"
#include "browser/renderer/OriginPolicy.h"
#include "service/ServiceConfig.h"
#include "web/WebRouterListenThread.h"

namespace {

std::unique_ptr<ClientAppBrowser> g_instance;

std::string CacheFolder() {
  std::string folder = std::string(g_get_user_cache_dir()) + "/tavo/webkit";
  g_mkdir_with_parents(folder.c_str(), 0700);
  return folder;
}

std::string DataFolder() { return WideToUtf8(GetProgramDataFolder()) + "webkit"; }

// A floating "as" variant of the trusted origins.
GVariant* TrustedOriginsVariant() {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE(kTrustedOriginsType));
  for (const std::string& origin : ClientAppBrowser::TrustedOrigins()) {
    g_variant_builder_add(&builder, "s", origin.c_str());
  }
  return g_variant_builder_end(&builder);
}

}  // namespace

bool ClientAppBrowser::Initialize() {
  const std::string extension = GetWebExtensionFolder() + "/libtavo_webext.so";
  if (!g_file_test(extension.c_str(), G_FILE_TEST_IS_REGULAR)) {
    LogError(L"web-process extension missing: " + Utf8ToWide(extension));
    return false;
  }
  Get();
  return true;
}

ClientAppBrowser& ClientAppBrowser::Get() {
  if (!g_instance) g_instance.reset(new ClientAppBrowser());
  return *g_instance;
}

bool ClientAppBrowser::IsCreated() { return g_instance != nullptr; }

void ClientAppBrowser::Release() { g_instance.reset(); }

std::string ClientAppBrowser::GetWebExtensionFolder() {
  if (const char* folder = std::getenv("TAVO_WEBEXT_DIR"); folder && *folder) return folder;
  return WideToUtf8(GetExeFolder()) + "webext";
}

ClientAppBrowser::ClientAppBrowser() {
  const std::string data = DataFolder();
  g_mkdir_with_parents(data.c_str(), 0700);
  m_dataManager = GRef<WebKitWebsiteDataManager>::Adopt(webkit_website_data_manager_new(
      "base-data-directory", data.c_str(), "base-cache-directory", CacheFolder().c_str(), nullptr));
  OnBeforeCommandLineProcessing();
  OnRegisterCustomSchemes();

  m_context =
      GRef<WebKitWebContext>::Adopt(webkit_web_context_new_with_website_data_manager(m_dataManager.get()));
  webkit_web_context_set_web_extensions_directory(m_context.get(), GetWebExtensionFolder().c_str());
  g_signal_connect(m_context.get(), "initialize-web-extensions", G_CALLBACK(OnInitializeWebExtensions), this);
  // Web processes run in a sandbox; the renderer day log is the one folder they write.
  webkit_web_context_set_sandbox_enabled(m_context.get(), TRUE);
  webkit_web_context_add_path_to_sandbox(m_context.get(), WideToUtf8(GetLogFolder()).c_str(), FALSE);
  // Links an earlier version left for its local player would keep deleted downloads on the disk.
  RemoveLeftoverMediaLinks();
  OnContextInitialized();
}

void ClientAppBrowser::OnBeforeCommandLineProcessing() {
  // Pages are fetched directly, never through a proxy.
  webkit_website_data_manager_set_network_proxy_settings(m_dataManager.get(),
                                                         WEBKIT_NETWORK_PROXY_MODE_NO_PROXY, nullptr);
  // Certificate errors fail the load; they are never ignored.
  webkit_website_data_manager_set_tls_errors_policy(m_dataManager.get(), WEBKIT_TLS_ERRORS_POLICY_FAIL);
}

void ClientAppBrowser::OnRegisterCustomSchemes() {
  m_cookieableSchemes.push_back("http");
  m_cookieableSchemes.push_back("https");
}

void ClientAppBrowser::OnContextInitialized() {
  // The local player page must always be fetched fresh: no memory or disk cache.
  webkit_web_context_set_cache_model(m_context.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  // Pages are asked for in Chinese, whatever the desktop's language.
  const gchar* const languages[] = {"zh-CN", nullptr};
  webkit_web_context_set_preferred_languages(m_context.get(), languages);
  // WebKit keeps cookies for http and https (m_cookieableSchemes) by itself; they are
  // stored on disk so that sign-ins of web pages survive a restart.
  WebKitCookieManager* cookies = webkit_website_data_manager_get_cookie_manager(m_dataManager.get());
  if (!cookies) {
    LogError(L"ClientAppBrowser: no cookie manager");
    return;
  }
  const std::string file = DataFolder() + "/cookies.sqlite";
  webkit_cookie_manager_set_persistent_storage(cookies, file.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
}

std::vector<std::string> ClientAppBrowser::TrustedOrigins() {
  // Of local files only the program's own player page, by its exact path; never a folder,
  // so no downloaded file can borrow the bridge.
  return {std::string("http://") + kWebListenAddress + ":" + std::to_string(LocalWebServerPort()),
          OriginOf(GetSiteOrigin()), WideToUtf8(LocalFileUrl(HtmlLocalFolder() + "/index.html"))};
}

bool ClientAppBrowser::IsTrustedUrl(const std::string& url) { return ::IsTrustedUrl(TrustedOrigins(), url); }

void ClientAppBrowser::OnInitializeWebExtensions(WebKitWebContext* context, gpointer) {
  webkit_web_context_set_web_extensions_initialization_user_data(context, TrustedOriginsVariant());
}

void ClientAppBrowser::PublishTrustedOrigins() const {
  webkit_web_context_send_message_to_all_extensions(
      m_context.get(), webkit_user_message_new(kTrustedOrigins, TrustedOriginsVariant()));
}

WebKitWebView* ClientAppBrowser::NewView() const {
  PublishTrustedOrigins();
  WebKitSettings* settings = webkit_settings_new_with_settings(
      "enable-developer-extras", TRUE, "javascript-can-open-windows-automatically", FALSE,
      "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, nullptr);
  // The student starts a lesson with a click in the program, not in the page: the player
  // page may start its video with sound on its own.
  WebKitWebsitePolicies* policies =
      webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
  auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", m_context.get(), "settings",
                                            settings, "website-policies", policies, nullptr));
  g_object_unref(policies);
  g_object_unref(settings);
  return view;
}
