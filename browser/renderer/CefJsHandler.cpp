// The native side of `app.call` in a web process.
#include "browser/renderer/CefJsHandler.h"

#include <memory>

#include "AppScript.inc"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/renderer/BridgeProtocol.h"

namespace {

constexpr char kAppScriptUri[] = "tavo-webext:///app.js";
constexpr char kInvalidArguments[] = "Invalid arguments.";

// What the native function needs to find its handler and page again.
struct Binding {
  CefJsHandler* handler;
  std::uint64_t pageId;
};

void NativeCall(GPtrArray* arguments, gpointer data) {
  auto* binding = static_cast<Binding*>(data);
  std::string exception;
  JSCContext* context = jsc_context_get_current();
  if (!binding->handler->Execute("call", binding->pageId, context, arguments, exception) &&
      !exception.empty()) {
    LogError(L"CefJsHandler::Execute:" + Utf8ToWide(exception));
  }
}

void DeleteBinding(gpointer data) { delete static_cast<Binding*>(data); }

bool IsString(GPtrArray* arguments, guint index) {
  return index < arguments->len && jsc_value_is_string(static_cast<JSCValue*>(arguments->pdata[index]));
}
bool IsFunction(GPtrArray* arguments, guint index) {
  return index < arguments->len && jsc_value_is_function(static_cast<JSCValue*>(arguments->pdata[index]));
}
std::string StringAt(GPtrArray* arguments, guint index) {
  std::unique_ptr<char, decltype(&g_free)> text(
      jsc_value_to_string(static_cast<JSCValue*>(arguments->pdata[index])), &g_free);
  return text ? std::string(text.get()) : std::string();
}

// Logs and clears a pending script exception of the context.
void ReportException(JSCContext* context, const wchar_t* where) {
  JSCException* exception = jsc_context_get_exception(context);
  if (!exception) return;
  std::unique_ptr<char, decltype(&g_free)> report(jsc_exception_report(exception), &g_free);
  LogError(std::wstring(where) + Utf8ToWide(report ? report.get() : ""));
  jsc_context_clear_exception(context);
}

}  // namespace

void CefJsHandler::InstallInto(JSCContext* context, std::uint64_t pageId) {
  auto installer =
      GRef<JSCValue>::Adopt(jsc_context_evaluate_with_source_uri(context, kAppScript, -1, kAppScriptUri, 1));
  ReportException(context, L"app.call install:");
  if (!installer || !jsc_value_is_function(installer.get())) return;
  auto native = GRef<JSCValue>::Adopt(jsc_value_new_function_variadic(
      context, "call", G_CALLBACK(NativeCall), new Binding{this, pageId}, DeleteBinding, G_TYPE_NONE));
  auto result = GRef<JSCValue>::Adopt(
      jsc_value_function_call(installer.get(), JSC_TYPE_VALUE, native.get(), G_TYPE_NONE));
  ReportException(context, L"app.call install:");
}

bool CefJsHandler::Execute(const std::string& name, std::uint64_t pageId, JSCContext* context,
                           GPtrArray* arguments, std::string& exception) {
  LogNormal(L"CefJsHandler::Execute:" + Utf8ToWide(name));
  if (name != "call" || !IsString(arguments, 0)) return false;

  const std::string functionName = StringAt(arguments, 0);
  std::string params = "{}";
  JSCValue* callback = nullptr;
  if (IsFunction(arguments, 1)) {
    callback = static_cast<JSCValue*>(arguments->pdata[1]);
  } else if (IsString(arguments, 1) && IsFunction(arguments, 2)) {
    params = StringAt(arguments, 1);
    callback = static_cast<JSCValue*>(arguments->pdata[2]);
  } else {
    exception = kInvalidArguments;
    return false;
  }

  m_callbacks.try_emplace({functionName, pageId},
                          Callback{GRef<JSCContext>::Retain(context), GRef<JSCValue>::Retain(callback)});

  WebKitWebPage* page = webkit_web_extension_get_page(m_extension, pageId);
  if (!page) return true;
  WebKitUserMessage* message = webkit_user_message_new(
      kCallCppFunc, g_variant_new(kCallCppFuncType, functionName.c_str(), params.c_str()));
  webkit_web_page_send_message_to_view(page, message, nullptr, nullptr, nullptr);
  return true;
}

void CefJsHandler::OnJsCallBack(std::uint64_t pageId, const std::string& functionName, int code,
                                const std::string& text) {
  auto found = m_callbacks.find({functionName, pageId});
  if (found == m_callbacks.end()) return;
  // Copies: the callback may call app.call again and change the map.
  Callback entry = found->second;
  const std::string codeText = std::to_string(code);
  auto result = GRef<JSCValue>::Adopt(jsc_value_function_call(
      entry.function.get(), G_TYPE_STRING, codeText.c_str(), G_TYPE_STRING, text.c_str(), G_TYPE_NONE));
  ReportException(entry.context.get(), L"JsCallBack callback:");
  if (!result) return;
  if (jsc_value_is_boolean(result.get())) {
    LogNormal(L"***************\n");
    LogNormal(jsc_value_to_boolean(result.get()) ? L"1" : L"0");
    LogNormal(L"***************\n");
  } else if (jsc_value_is_string(result.get())) {
    std::unique_ptr<char, decltype(&g_free)> value(jsc_value_to_string(result.get()), &g_free);
    LogNormal(L"***************\n");
    LogNormal(Utf8ToWide(value ? value.get() : ""));
    LogNormal(L"***************\n");
  }
}

void CefJsHandler::ForgetPage(std::uint64_t pageId) {
  std::erase_if(m_callbacks, [pageId](const auto& entry) { return entry.first.second == pageId; });
}
