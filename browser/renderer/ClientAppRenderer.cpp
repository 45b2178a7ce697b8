// The application object of a web process.
#include "browser/renderer/ClientAppRenderer.h"

#include <string_view>

#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/renderer/BridgeProtocol.h"
#include "browser/renderer/OriginPolicy.h"

ClientAppRenderer::ClientAppRenderer(WebKitWebExtension* extension, const GVariant* trustedOrigins)
    : m_extension(extension) {
  SetTrustedOrigins(const_cast<GVariant*>(trustedOrigins));
}

void ClientAppRenderer::SetTrustedOrigins(GVariant* origins) {
  if (!origins || !g_variant_is_of_type(origins, G_VARIANT_TYPE(kTrustedOriginsType))) {
    LogError(L"CefAppRender: no trusted origins, the bridge stays off");
    return;
  }
  m_trustedOrigins.clear();
  GVariantIter iter;
  g_variant_iter_init(&iter, origins);
  const char* origin = nullptr;
  while (g_variant_iter_next(&iter, "&s", &origin)) m_trustedOrigins.emplace_back(origin);
}

void ClientAppRenderer::OnWebKitInitialized() {
  m_handler = std::make_unique<CefJsHandler>(m_extension);
  // "window-object-cleared" comes before any of the document's own script runs.
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(OnWindowObjectCleared), this);
  g_signal_connect(m_extension, "page-created", G_CALLBACK(OnPageCreated), this);
  g_signal_connect(m_extension, "user-message-received", G_CALLBACK(OnExtensionMessage), this);
}

gboolean ClientAppRenderer::OnExtensionMessage(WebKitWebExtension*, WebKitUserMessage* message,
                                               gpointer self) {
  if (std::string_view(webkit_user_message_get_name(message)) != kTrustedOrigins) return FALSE;
  static_cast<ClientAppRenderer*>(self)->SetTrustedOrigins(webkit_user_message_get_parameters(message));
  return TRUE;
}

void ClientAppRenderer::OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer self) {
  g_signal_connect(page, "user-message-received", G_CALLBACK(OnUserMessage), self);
}

void ClientAppRenderer::OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page,
                                              WebKitFrame* frame, gpointer self) {
  auto* app = static_cast<ClientAppRenderer*>(self);
  const std::uint64_t pageId = webkit_web_page_get_id(page);
  if (webkit_frame_is_main_frame(frame)) app->m_handler->ForgetPage(pageId);
  // Pages of any other origin (a link followed from the school's site, a foreign iframe)
  // get no `app` at all.
  const char* uri = webkit_frame_get_uri(frame);
  if (!IsTrustedUrl(app->m_trustedOrigins, uri ? uri : "")) {
    if (uri && *uri && std::string_view(uri) != "about:blank") {
      LogNormal(L"app.call not installed for " + Utf8ToWide(OriginForLog(uri)));
    }
    return;
  }
  auto context = GRef<JSCContext>::Adopt(webkit_frame_get_js_context_for_script_world(frame, world));
  if (context) app->m_handler->InstallInto(context.get(), pageId);
}

gboolean ClientAppRenderer::OnUserMessage(WebKitWebPage* page, WebKitUserMessage* message, gpointer self) {
  return static_cast<ClientAppRenderer*>(self)->OnProcessMessageReceived(page, message);
}

bool ClientAppRenderer::OnProcessMessageReceived(WebKitWebPage* page, WebKitUserMessage* message) {
  const std::string name = webkit_user_message_get_name(message);
  LogNormal(L"CefAppRender::OnProcessMessageReceived enter:" + Utf8ToWide(name) + L"\n");
  if (name != kJsCallBack) return false;
  GVariant* params = webkit_user_message_get_parameters(message);
  if (!params || !g_variant_is_of_type(params, G_VARIANT_TYPE(kJsCallBackType))) {
    LogError(L"CefAppRender::OnProcessMessageReceived malformed JsCallBack");
    return true;
  }
  const char* functionName = nullptr;
  gint32 code = 0;
  const char* text = nullptr;
  g_variant_get(params, "(&si&s)", &functionName, &code, &text);
  m_handler->OnJsCallBack(webkit_web_page_get_id(page), functionName, code, text);
  return true;
}
