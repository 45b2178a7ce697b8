// The browser engine of the UI process: one WebKit web context with the program's
// settings (cookies kept on disk for http and https, no proxy, no cache, certificates
// verified, the web-process extension of the build), shared by every view.
#pragma once

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

#include "browser/renderer/GRef.h"

class ClientAppBrowser {
 public:
  // The start-up step: creates the engine (GTK must be initialised). False when the
  // web-process extension is missing, so pages would get no app.call bridge.
  static bool Initialize();
  // Created on first use, on the main thread; lives until Release.
  static ClientAppBrowser& Get();
  // True once the engine exists (after Initialize): windows that merely offer a page
  // create no browser without it (tests on the display-less host).
  static bool IsCreated();
  // Drops the context at shutdown (views still alive keep it).
  static void Release();

  WebKitWebContext* GetContext() const { return m_context.get(); }
  // A new (floating) view on the shared context with the program's view settings.
  WebKitWebView* NewView() const;

  // Where WebKit finds the extension: $TAVO_WEBEXT_DIR, else "webext" next to the executable.
  static std::string GetWebExtensionFolder();

  ClientAppBrowser(const ClientAppBrowser&) = delete;
  ClientAppBrowser& operator=(const ClientAppBrowser&) = delete;

 private:
  ClientAppBrowser();
  // No proxy, no cache.
  void OnBeforeCommandLineProcessing();
  // The schemes whose cookies are kept.
  void OnRegisterCustomSchemes();
  // Cookie storage once the context exists.
  void OnContextInitialized();

  std::vector<std::string> m_cookieableSchemes;
  GRef<WebKitWebsiteDataManager> m_dataManager;
  GRef<WebKitWebContext> m_context;
};
