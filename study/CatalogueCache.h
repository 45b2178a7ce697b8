// The last catalogue the school gave an account, kept in the account's course.db (in its
// 0700 folder) so the program can open without the network: the answer of the subject
// tree (every exam, package and class, with each class's documents) and each class's
// lesson answer, stored as the school sent them each time it answers. Every call opens its
// own connection, so workers use it. What is read back is untrusted (a damaged or edited
// file): it goes through the same parsers as the school's answers, and an entry that does
// not read is logged and skipped.
#pragma once

#include <memory>
#include <string>

#include "service/CatalogueParsers.h"
#include "study/CourseCatalogue.h"

class OfflineState;
struct ClassDetail;

class CatalogueCache {
 public:
  // The cache of `account` in the course database at `dbPath`.
  CatalogueCache(std::wstring dbPath, std::string account);
  // The signed-in account's, in its course database.
  static CatalogueCache OfSignedInAccount();

  // Keeps an answer of the school (the caller judged it a good one).
  bool StoreSubjects(const std::string& answer) const;
  bool StoreClass(const std::string& classId, const std::string& answer) const;

  // Adds the kept subject tree to gSubjectList; false when none is kept or it does not read.
  bool RecallSubjects() const;
  // The class's kept lessons: Filled, or NoAnswer when none is kept or it does not read.
  ClassDetailResult RecallClass(const std::string& classId, ClassDetail& detail) const;
  // Whether a subject tree is kept for the account.
  bool HasSubjects() const;

 private:
  bool Store(const std::string& item, const std::string& answer) const;
  bool Recall(const std::string& item, std::string& answer) const;

  std::wstring m_path;
  std::string m_account;
};

// The catalogue's fetcher for the program: the school's answer, kept for a start without
// the network. While the session is offline a class comes from what was kept (if anything
// was); online, a failed fetch fails as before, so the student hears of it.
// The state is shared: a fetch still running on a worker at exit may still read it.
CourseCatalogue::Fetcher KeepingFetcher(std::shared_ptr<const OfflineState> offline);

// The subject tree after a sign-in: fetched from the school into gSubjectList and kept;
// false when the school gave no catalogue (gSubjectList then stays empty, as before).
bool LoadAndKeepSubjects();
// The same into `into` (the catalogue's subjects fetcher once the school is back).
bool FetchAndKeepSubjects(SubjectList& into);
