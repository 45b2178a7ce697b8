// PDF text through poppler-glib.
#include "study/PdfText.h"

#include <glib.h>
#include <poppler.h>

#include <memory>

#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/BackgroundTask.h"

namespace {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

}  // namespace

std::optional<std::vector<std::string>> ExtractPdfPages(const std::string& path, const CancelToken* cancel) {
  GError* error = nullptr;
  std::unique_ptr<gchar, decltype(&g_free)> uri(g_filename_to_uri(path.c_str(), nullptr, &error), &g_free);
  if (!uri) {
    LogError(L"pdf text: no address for " + AnsiToWide(path));
    g_clear_error(&error);
    return std::nullopt;
  }
  std::unique_ptr<PopplerDocument, GObjectUnref> document(poppler_document_new_from_file(uri.get(), nullptr, &error));
  if (!document) {
    LogError(L"pdf text: " + AnsiToWide(path) + L" does not open: " + Utf8ToWide(error ? error->message : ""));
    g_clear_error(&error);
    return std::nullopt;
  }
  const int count = poppler_document_get_n_pages(document.get());
  std::vector<std::string> pages;
  pages.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    if (cancel && cancel->IsCancelled()) return std::nullopt;
    std::unique_ptr<PopplerPage, GObjectUnref> page(poppler_document_get_page(document.get(), i));
    std::unique_ptr<char, decltype(&g_free)> text(page ? poppler_page_get_text(page.get()) : nullptr, &g_free);
    pages.emplace_back(text ? text.get() : "");
  }
  return pages;
}
