// The application object of a web process: installs the script bridge in every page and
// receives the UI process's answers.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <memory>

#include "browser/renderer/CefJsHandler.h"

class ClientAppRenderer {
 public:
  explicit ClientAppRenderer(WebKitWebExtension* extension) : m_extension(extension) {}
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

  WebKitWebExtension* m_extension;
  std::unique_ptr<CefJsHandler> m_handler;
};
