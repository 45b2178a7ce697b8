// The application object of a web process: installs the script bridge in every frame whose
// origin the UI process trusts, and receives the UI process's answers.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <memory>
#include <string>
#include <vector>

#include "browser/renderer/CefJsHandler.h"

class ClientAppRenderer {
 public:
  // `trustedOrigins`: the initialisation data, an "as" of origins (or none: no frame is trusted).
  ClientAppRenderer(WebKitWebExtension* extension, const GVariant* trustedOrigins);
  ClientAppRenderer(const ClientAppRenderer&) = delete;
  ClientAppRenderer& operator=(const ClientAppRenderer&) = delete;

  // Creates the bridge handler and hooks every page and every new script context.
  void OnWebKitInitialized();
  // A user message from the UI process to a page; true when it was handled.
  bool OnProcessMessageReceived(WebKitWebPage* page, WebKitUserMessage* message);

 private:
  static void OnPageCreated(WebKitWebExtension* extension, WebKitWebPage* page, gpointer self);
  static void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                                    gpointer self);
  static gboolean OnUserMessage(WebKitWebPage* page, WebKitUserMessage* message, gpointer self);
  static gboolean OnExtensionMessage(WebKitWebExtension* extension, WebKitUserMessage* message,
                                     gpointer self);
  void SetTrustedOrigins(GVariant* origins);

  WebKitWebExtension* m_extension;
  std::unique_ptr<CefJsHandler> m_handler;
  std::vector<std::string> m_trustedOrigins;
};
