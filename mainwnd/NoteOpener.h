// Opens what a note marks: a lesson at its moment, through what plays lessons today (the
// downloaded copy when there is a complete one, from the moment; else the online player,
// which starts at the lesson's resume position), or a downloaded document at its page. A lesson of a class
// whose lessons are not here yet waits for the catalogue to bring them.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "study/CourseCatalogue.h"
#include "study/NoteBook.h"

struct DownloadTask;
class OfflineSession;

enum class NoteOpening { Played, PlayedLocally, Shown, Waiting, Refused, Gone };

class NoteOpener : public CatalogueObserver {
 public:
  // `tip` shows a short text to the student (a note that cannot be opened says why).
  NoteOpener(CourseCatalogue& catalogue, std::function<void(const std::wstring&)> tip);
  ~NoteOpener();
  NoteOpener(const NoteOpener&) = delete;
  NoteOpener& operator=(const NoteOpener&) = delete;

  void SetOfflineSession(const OfflineSession* offline) { m_offline = offline; }
  // Plays a downloaded lesson from a moment; the default is local playback's
  // (PlayDownloadedVideoFrom). Tests record instead.
  using LocalPlay = std::function<void(const DownloadTask& task, int64_t seconds)>;
  void SetLocalPlay(LocalPlay play) { m_localPlay = std::move(play); }

  NoteOpening Open(const Note& note);

 private:
  NoteOpening OpenLesson(const Note& note);
  NoteOpening OpenDocument(const Note& note);
  void OnClassLoaded(const ClassLoaded& loaded) override;
  void OnClassFailed(const ClassFailed& failed) override;

  CourseCatalogue& m_catalogue;
  std::function<void(const std::wstring&)> m_tip;
  const OfflineSession* m_offline = nullptr;
  LocalPlay m_localPlay;
  std::optional<Note> m_waiting;  // a lesson note whose class is on its way
};

// Whether the class is among what the signed-in student bought.
bool IsClassBought(const std::string& classId);
// The class's name from what the student bought, else from the downloads; empty when the
// program no longer knows the class.
std::string ClassNameOf(const std::string& classId);
