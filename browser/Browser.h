// One embedded browser: a WebKitWebView and what the program does with its main frame.
// Its identifier is the page id, the same number the web process sees for the page.
#pragma once

#include <webkit2/webkit2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "browser/renderer/GRef.h"

class Browser {
 public:
  // Takes a reference of its own to the (floating or owned) view.
  explicit Browser(WebKitWebView* view);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  std::int64_t GetIdentifier() const { return m_identifier; }
  WebKitWebView* GetView() const { return m_view.get(); }
  GtkWidget* GetWidget() const { return GTK_WIDGET(m_view.get()); }

  void LoadURL(const std::wstring& url);
  // Shows `html` as the document of `url` (the load-error page).
  void LoadString(const std::wstring& html, const std::wstring& url);
  // Runs script in the main frame; the result is not looked at.
  void ExecuteJavaScript(const std::wstring& script);
  // Runs script in the main frame and hands its result, when it is a number, to `done` on
  // the main loop (nullopt for anything else or a failure). `done` runs exactly once, also
  // when the view goes first, so it must not assume its window still exists.
  void EvaluateNumber(const std::wstring& script, std::function<void(std::optional<double>)> done);
  std::wstring GetURL() const;
  void Reload();
  // Ends the page's web process (the view stays, empty); the next load starts a new one.
  void TerminateWebProcess();
  // Hides or shows the view's native widget.
  void WasHidden(bool hidden);
  // The address of the document the view shows: set when a load commits, so it stays the
  // old page's while a new load is only asked for. "" before the first document.
  const std::string& GetCommittedUrl() const { return m_committedUrl; }
  void SetCommittedUrl(std::string url) { m_committedUrl = std::move(url); }
  // Sends a user message to the page's web process.
  void SendProcessMessage(const char* name, GVariant* params);

 private:
  GRef<WebKitWebView> m_view;
  std::int64_t m_identifier;
  std::string m_committedUrl;
};

using BrowserPtr = std::shared_ptr<Browser>;
