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

  // The origins whose pages get the script bridge: the local web server at its real port,
  // the school's web site, local files. Read afresh at every use.
  static std::vector<std::string> TrustedOrigins();
  // True when a page at this address may use the bridge.
  static bool IsTrustedUrl(const std::string& url);
  // Sends the current trusted origins to every running web process; a new web process gets
  // them with its initialisation data. Called for every new view and after a change.
  void PublishTrustedOrigins() const;

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
  static void OnInitializeWebExtensions(WebKitWebContext* context, gpointer self);

  std::vector<std::string> m_cookieableSchemes;
  GRef<WebKitWebsiteDataManager> m_dataManager;
  GRef<WebKitWebContext> m_context;
};
