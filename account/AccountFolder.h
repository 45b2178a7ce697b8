// The data folder of a signed-in account (<data root>/tavo/<account>/) is named by the
// account's own name from the record the service returns at sign-in, so a password and an
// SMS sign-in keep one set of downloads, settings and progress. A folder an earlier sign-in
// made under another name (the mobile number, or the name typed) is merged into it.
// Everything here touches the disk: call it off the main thread.
#pragma once

#include <filesystem>
#include <string>

// Why `name` (locale text) cannot name a folder beside the program's own data, or empty
// text when it can: empty, "." or "..", a slash, a control character, a leading dot, too
// long, or the name of one of the program's own files and folders there.
std::wstring AccountNameProblem(const std::string& name);

// What MergeAccountFolder did.
struct FolderMerge {
  int movedFiles = 0;
  int keptFiles = 0;    // left where they were: the account's folder has one of that name, or the move failed
  int carriedRows = 0;  // rows of course.db carried over
  bool databaseKept = false;  // the earlier course.db, or part of it, could not be carried over and stays
};

// Moves what the folder `from` of the sign-in name `fromName` holds into `to`, the folder of
// the account `toName`: every file to the same place under `to` unless a file of that name
// is there already (then both stay as they are), and course.db's rows that the account's
// course.db lacks (lessons by lesson id, documents by document id; rows of the earlier name
// become the account's), with the tasks pointed at the files' new places. Folders left
// empty are removed; only files the merge could not move stay behind. Nothing is
// overwritten. Writes one log line on what was merged.
FolderMerge MergeAccountFolder(const std::filesystem::path& from, const std::string& fromName,
                               const std::filesystem::path& to, const std::string& toName);

// After a successful sign-in with `signInName` (what was typed: account name or mobile
// number), given the sign-in's answer: the account's own name, which names its data folder,
// once the folders under the sign-in name and the record's mobile number are merged into
// that folder. Empty text, with a log line, when the answer names no usable account.
std::string PrepareAccountFolder(const std::string& loginAnswer, const std::string& signInName);
