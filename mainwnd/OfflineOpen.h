// Opening a downloaded document, for the lists of the main window: a PDF opens in the
// viewer of this module (videos play through the LessonPlayer).
#pragma once

#include <string>

// Shows a downloaded PDF in the viewer (the one open, or a new one); any other file is handed
// to the desktop's program for it.
void OpenDownloadedDocument(const std::string& path);
