// Whether a downloaded document is a PDF, judged by its bytes, never by its name: the viewer
// shows PDFs only, anything else goes to the desktop's own program for it.
#pragma once

#include <string>

// True when the file starts with the "%PDF-" header within its first 1,024 bytes (where PDF
// readers look for it). False for a missing or unreadable file.
bool LooksLikePdf(const std::string& path);
