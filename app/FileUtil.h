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
// Renames a damaged file (a database or settings file the program cannot use) to
// "<path>.damaged-YYYYMMDD-HHMMSS" (with "-2", "-3", ... when that name is taken), so a fresh
// one can take its place without the old data being lost; SQLite's side files ("-journal",
// "-wal", "-shm") go along. Writes one log line either way. The new name, or "" when the
// file could not be moved (it is then left as it was).
std::string MoveAsideDamaged(const std::string& path);
