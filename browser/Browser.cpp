// One embedded browser.
#include "browser/Browser.h"

#include "app/TextConv.h"

Browser::Browser(WebKitWebView* view)
    : m_view(GRef<WebKitWebView>::Adopt(WEBKIT_WEB_VIEW(g_object_ref_sink(view)))),
      m_identifier(static_cast<std::int64_t>(webkit_web_view_get_page_id(view))) {}

Browser::~Browser() {
  // The widget leaves its container and its page closes; our reference then frees the view.
  gtk_widget_destroy(GetWidget());
}

void Browser::LoadURL(const std::wstring& url) {
  webkit_web_view_load_uri(m_view.get(), WideToUtf8(url).c_str());
}

void Browser::LoadString(const std::wstring& html, const std::wstring& url) {
  webkit_web_view_load_alternate_html(m_view.get(), WideToUtf8(html).c_str(), WideToUtf8(url).c_str(),
                                      nullptr);
}

void Browser::ExecuteJavaScript(const std::wstring& script) {
  const std::string text = WideToUtf8(script);
  webkit_web_view_evaluate_javascript(m_view.get(), text.c_str(), static_cast<gssize>(text.size()), nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
}

void Browser::EvaluateNumber(const std::wstring& script, std::function<void(std::optional<double>)> done) {
  using Done = std::function<void(std::optional<double>)>;
  const std::string text = WideToUtf8(script);
  webkit_web_view_evaluate_javascript(
      m_view.get(), text.c_str(), static_cast<gssize>(text.size()), nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer user) {
        std::unique_ptr<Done> answer(static_cast<Done*>(user));
        std::optional<double> number;
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          if (jsc_value_is_number(value)) number = jsc_value_to_double(value);
          g_object_unref(value);
        }
        (*answer)(number);
      },
      std::make_unique<Done>(std::move(done)).release());
}

std::wstring Browser::GetURL() const {
  const char* uri = webkit_web_view_get_uri(m_view.get());
  return uri ? Utf8ToWide(uri) : std::wstring();
}

void Browser::Reload() { webkit_web_view_reload(m_view.get()); }

void Browser::TerminateWebProcess() { webkit_web_view_terminate_web_process(m_view.get()); }

void Browser::WasHidden(bool hidden) { gtk_widget_set_visible(GetWidget(), !hidden); }

void Browser::SendProcessMessage(const char* name, GVariant* params) {
  webkit_web_view_send_message_to_page(m_view.get(), webkit_user_message_new(name, params), nullptr, nullptr,
                                       nullptr);
}
