// The document viewer: one downloaded lecture document shown by the browser's own PDF
// viewer. There is one viewer at a time; opening another document while it is open hands
// the viewer the new path (WM_DOC_OPEN) instead of opening a second window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mainwnd/NoteEditDlg.h"

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class CefNativeControl;

// Alt+Ctrl+Shift+I: developer tools of the viewer's page.
constexpr int kViewerHotKeyId = 1027;
// Ctrl+B: a bookmark on the page shown.
constexpr int kViewerNoteHotKeyId = 1028;

class LookDocDlg : public WindowImplBase {
 public:
  // `path` is narrow (locale) text.
  explicit LookDocDlg(std::string path, int64_t page = 0);
  std::wstring GetWindowClassName() const override { return L"lookDocDlgClass"; }
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;

  const std::string& GetPath() const { return m_path; }
  // How many times a document was handed to the browser (a document already shown is not).
  int GetLoadCount() const { return m_loadCount; }
  CefNativeControl* GetBrowserControl() const { return m_browser; }
  // The page the document was opened at (0: its start); the bookmark dialog starts there.
  int64_t GetPage() const { return m_page; }

  // Keeps a bookmark on a page of the document (the student confirms the page); the title
  // bar's "添加书签" and Ctrl+B come here. False when nothing was kept.
  bool AddBookmark();
  void SetNoteAsker(NoteAsker asker) { m_noteAsker = std::move(asker); }

  // The title of a document: its file name (after the last "/", else the last "\") cut
  // before the last "."; the whole file name when it has no dot.
  static std::wstring TitleOf(const std::string& path);

 protected:
  std::wstring GetSkinFile() override { return L"look_doc_dlg.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;
  void OnClick(TNotifyUI& msg) override;

 private:
  // Loads the current path when the browser and the file exist.
  void LoadDocument();
  void UpdateTitle();

  std::string m_path;
  int64_t m_page = 0;
  NoteAsker m_noteAsker = &AskWithNoteEditDlg;
  CefNativeControl* m_browser = nullptr;
  int m_loadCount = 0;
};

// The title of the viewer that is open now (empty when none was opened yet).
const std::wstring& GetViewerTitle();

// Shows a downloaded document: the open viewer gets the path (and comes to the front),
// else a new viewer opens, centred. The caller has checked that the file exists. A page
// (from 1) opens the document there.
void OpenDocViewer(const std::string& path, int64_t page = 0);
