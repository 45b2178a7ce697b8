// Small file and folder operations on narrow (locale) paths.
#pragma once

#include <cstdint>
#include <string>

// Size of the file (or first wildcard match) at `path`; 0 when nothing matches.
std::uint64_t GetFileSize64(const std::string& path);
// Text after the last "/", else after the last "\", else the whole text.
std::string FileNameOf(const std::string& pathOrUrl);
// Deletes every file under `folder` (recursively) whose full path does not contain `keep`,
// then removes the folders that became empty. An empty `keep` is in every path: no file
// goes. Symbolic links are removed as links, never followed. False when `folder` cannot be
// listed.
bool DeleteFolderExcept(const std::string& folder, const std::string& keep);
// Path of the first plain file directly in `folder` (in listing order); empty when none.
std::string FindFirstFileIn(const std::string& folder);
