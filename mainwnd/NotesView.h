// "我的笔记": the signed-in student's bookmarks in the main window, by class, then lesson
// or document, newest first. Choosing one opens it (NoteOpener); a note can be removed;
// "导出" writes them all to a new Markdown file the student names. The notes are read
// again each time the view is shown, so one taken in the player or the viewer is there.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mainwnd/NoteOpener.h"
#include "study/NoteBook.h"
#include "ui/Control.h"

class CContainerUI;
class WindowImplBase;

enum class NotesExport { Written, Cancelled, Exists, Failed };

class NotesView {
 public:
  NotesView(WindowImplBase& window, CourseCatalogue& catalogue);
  ~NotesView();

  void SetOfflineSession(const OfflineSession* offline) { m_opener.SetOfflineSession(offline); }
  NoteOpener& Opener() { return m_opener; }
  // Where the export goes; the default asks with the desktop's save chooser.
  void SetExportChooser(std::function<std::wstring()> choose) { m_chooseExport = std::move(choose); }

  // Reads the notes again and rebuilds the list.
  void Refresh();
  // The notes in the order they are shown.
  const std::vector<Note>& Shown() const { return m_shown; }
  bool HandleNotify(TNotifyUI& msg);

  NoteOpening Open(size_t index);
  bool Remove(size_t index);
  NotesExport Export();

 private:
  void AddHeading(CContainerUI& list, const std::wstring& text, bool classLevel);
  void AddRow(CContainerUI& list, const Note& note, size_t index);

  WindowImplBase& m_window;
  NoteOpener m_opener;
  std::function<std::wstring()> m_chooseExport;
  std::vector<Note> m_shown;
  // Lets a refresh posted to the loop tell whether the view is still there.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// Writes `text` to a new file at `path`; Exists (nothing written) when a file is there.
NotesExport WriteNewFile(const std::string& path, const std::string& text);
