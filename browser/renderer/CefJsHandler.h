// The native side of `app.call` in a web process: checks the call's arguments, keeps the
// page's callback and forwards the call to the UI process as "CallCppFunc"; later delivers
// the "JsCallBack" answer to the stored callback.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "browser/renderer/GRef.h"

class CefJsHandler {
 public:
  explicit CefJsHandler(WebKitWebExtension* extension) : m_extension(extension) {}

  // Installs the global `app` with `app.call` in a frame's script context.
  void InstallInto(JSCContext* context, std::uint64_t pageId);

  // The native function `call` (name as registered, arguments as the page passed them).
  // Returns false when the call is not handled; `exception` then says why when the
  // arguments had the wrong shape. Nothing is sent in that case.
  bool Execute(const std::string& name, std::uint64_t pageId, JSCContext* context, GPtrArray* arguments,
               std::string& exception);

  // Calls the callback stored for (function name, page) with the code in decimal and the
  // text. Answers without a stored callback are dropped.
  void OnJsCallBack(std::uint64_t pageId, const std::string& functionName, int code, const std::string& text);

  // A page's main frame got a new document: its callbacks belong to a script context that
  // is gone, so they are dropped to let the new document's calls be answered.
  void ForgetPage(std::uint64_t pageId);

  size_t CallbackCount() const { return m_callbacks.size(); }

 private:
  struct Callback {
    GRef<JSCContext> context;
    GRef<JSCValue> function;
  };
  WebKitWebExtension* m_extension;
  // Keyed by (function name, page id); the first callback of a key stays.
  std::map<std::pair<std::string, std::uint64_t>, Callback> m_callbacks;
};
