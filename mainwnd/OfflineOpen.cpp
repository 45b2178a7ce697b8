// Downloaded documents: the viewer or the desktop's program.
#include "mainwnd/OfflineOpen.h"

#include <filesystem>

#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/LocalFileUrl.h"
#include "mainwnd/LookDocDlg.h"
#include "mainwnd/PdfSniff.h"
#include "platform/host/Host.h"

void OpenDownloadedDocument(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) || LooksLikePdf(path)) {
    OpenDocViewer(path);
    return;
  }
  // Not a PDF: the desktop's program for it opens it, never a window of this program (a
  // page from the school is no page of the program).
  LogNormal(L"OpenDownloadedDocument: not a PDF, handed to the desktop: " + AnsiToWide(path));
  if (!GetHost().OpenUri(WideToUtf8(LocalFileUrl(path))))
    LogError(L"OpenDownloadedDocument: the desktop cannot open " + AnsiToWide(path));
}
