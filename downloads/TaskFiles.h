// Where a download's bytes live on disk. A task owns two paths: its partial file, which
// the program creates empty when the task is added and which only its transfers append
// to, and its final name, which the partial file takes once the whole file has arrived.
// A task stored before partial files existed has no partial file; its transfers write
// into its local file as they always did.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "downloads/DownloadTask.h"

// The size of a regular file, 0 when there is none at `path`.
std::int64_t FileSizeOnDisk(const std::string& path);

// The file the task's transfer appends to: its partial file, else its local file.
const std::string& TransferFile(const DownloadTask& task);

// Whether the whole file is on disk under the task's final name: its size is the full size
// the last transfer stored, or, while none is stored, at least the size announced when the
// download began.
bool IsCompleteOnDisk(const DownloadTask& task);

// The task's bytes on disk in its own units (KiB for documents): the whole file when it is
// complete, else what its transfer file holds.
std::int64_t DownloadedOnDisk(const DownloadTask& task);

// The first of `wanted`, "stem (2).ext", "stem (3).ext", ... that `taken` refuses not.
// Empty when every number up to a bound is taken.
std::string FreeFileName(const std::string& wanted, const std::function<bool(const std::string&)>& taken);

// The path a partial file of `finalPath` gets.
std::string PartFileOf(const std::string& finalPath);

// Creates `path` empty, failing when anything is there already. errno is kept.
bool CreateNewFile(const std::string& path);

// rename(2) that fails with EEXIST instead of replacing a file at `to`. errno is kept.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Moves `from` to `to` without ever replacing a file at `to`; when `to` is taken, to the
// first free "stem (n).ext" beside it, which `to` then receives. False (errno kept) when
// the move fails.
bool MoveIntoPlace(const std::string& from, std::string& to);

// Deletes the task's partial file (a failed or deleted download); nothing else of the
// folder, and nothing for a task without one.
void DiscardPartFile(const DownloadTask& task);

// Deletes the task's file under its final name, which the program wrote (the student chose
// to delete it with the download); nothing when no regular file is there.
void DiscardFinishedFile(const DownloadTask& task);
