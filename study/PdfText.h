// The text of a PDF file, page by page, for the search index. Reads the file only; a file
// that does not open as a PDF gives nothing (and a log line). Any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

class CancelToken;

// The UTF-8 text of every page, page 1 first (an empty text for a page without any);
// nothing when the file is not a readable PDF or `cancel` was set meanwhile.
std::optional<std::vector<std::string>> ExtractPdfPages(const std::string& path, const CancelToken* cancel = nullptr);
