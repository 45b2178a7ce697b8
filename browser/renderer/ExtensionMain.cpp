// Entry point of the web-process extension: the renderer role of the program. Opens the
// renderer day log and creates the process's application object with the trusted origins
// the UI process hands over.
#include <webkit2/webkit-web-extension.h>

#include <memory>

#include "app/Log.h"
#include "browser/renderer/ClientAppRenderer.h"

namespace {
// Lives as long as the web process; WebKit never unloads the extension.
std::unique_ptr<ClientAppRenderer> g_app;
}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                               const GVariant* data) {
  OpenLog(L"renderlog");
  LogNormal(L"*************RenderProcess create*************");
  g_app = std::make_unique<ClientAppRenderer>(extension, data);
  g_app->OnWebKitInitialized();
}
