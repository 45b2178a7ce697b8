// Fixture of the player tests: the test host with the program's skin, the service and the
// main window's catalogue replaced by recording fakes, and a page that records the
// scripts the player runs.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "WindowTestKit.h"
#include "app/TextConv.h"
#include "browser/JsFunctionTable.h"
#include "platform/MessageCore.h"
#include "playback/OnlinePlayer.h"
#include "playback/PlayerCatalogue.h"
#include "playback/PlayerServices.h"
#include "playback/ProgressQueue.h"
#include "playback/VideoPlayDlg.h"
#include "study/DownloadCenter.h"

struct ReportRecord {
  std::string seconds;
  std::string lessonId;
};

class PlayerTestKit : public WindowTestKit {
 protected:
  void SetUp() override {
    WindowTestKit::SetUp();
    PlayerServices services;
    services.fetchPlayAuth = [this](const std::string& vid) { return "AUTH-" + vid; };
    services.reportProgress = [this](const std::string& seconds, const std::string& lessonId) {
      std::lock_guard lock(m_mutex);
      reports.push_back({seconds, lessonId});
      events.push_back("report " + seconds);
      return acceptReports;
    };
    services.sendQuestion = [this](const std::string& type, const std::string& content, const std::string&,
                                   const std::string&) {
      std::lock_guard lock(m_mutex);
      questions.push_back(type + ":" + content);
      return acceptQuestions;
    };
    services.isOnline = [this] { return online; };
    SetPlayerServices(std::move(services));

    PlayerCatalogue catalogue;
    catalogue.findLesson = [this](const std::string&, const std::string& id) -> std::optional<LessonRecord> {
      for (const LessonRecord& lesson : lessons) {
        if (lesson.id == id) return lesson;
      }
      return std::nullopt;
    };
    catalogue.storeLearned = [this](const std::string& classId, const std::string& id, const std::string& s) {
      stored.push_back(classId + "/" + id + "=" + s);
    };
    catalogue.showProgress = [this](const std::string& classId, const std::string& id, int64_t s) {
      shown.push_back(classId + "/" + id + "=" + std::to_string(s));
    };
    catalogue.markLesson = [this](const std::string& classId, const std::string& lessonId) {
      marked.push_back(classId + "/" + lessonId);
    };
    catalogue.previousLesson = [this](const std::string&, const std::string& id, std::string& newId,
                                      std::string& learned) { return Neighbour(id, -1, newId, learned); };
    catalogue.nextLesson = [this](const std::string&, const std::string& id, std::string& newId,
                                  std::string& learned) { return Neighbour(id, 1, newId, learned); };
    SetPlayerCatalogue(std::move(catalogue));
    // The side panel's downloads: a lesson asked for is listed unless refused.
    downloads.SetLessonStarter([this](const std::string& classId, const std::string& id) {
      asked.push_back(classId + "/" + id);
      if (!acceptDownloads) return false;
      DownloadTask task;
      task.classId = classId;
      task.id = id;
      task.kind = TaskKind::Video;
      return taskList.AddTask(task, TaskKind::Video);
    });
    lessons = {Lesson("l1", "第一课 导论", "v1", "30"), Lesson("l2", "第二课 函数", "v2", "75"),
               Lesson("l3", "第三课 极限", "v3", "0")};
  }
  void TearDown() override {
    if (HWND player = FindOnlinePlayer(); player != kNoWindow)
      CWindowWnd::FromHandle(player)->DestroyWindow();
    WaitForPlayerTasks(5000);
    PumpPendingMessages();
    ProgressQueue::Release();
    ResetPlayerServices();
    ResetPlayerCatalogue();
    SetCurrentPlayerTitle(L"");
    WindowTestKit::TearDown();
  }

  static LessonRecord Lesson(const std::string& id, const std::string& name, const std::string& video,
                             const std::string& learned) {
    LessonRecord lesson;
    lesson.id = id;
    lesson.name = name;
    lesson.video = video;
    lesson.learned_duration = learned;
    lesson.duration = "600";
    return lesson;
  }

  bool Neighbour(const std::string& id, int step, std::string& newId, std::string& learned) {
    for (size_t i = 0; i < lessons.size(); ++i) {
      if (lessons[i].id != id) continue;
      long j = static_cast<long>(i) + step;
      if (j < 0 || j >= static_cast<long>(lessons.size())) return false;
      newId = lessons[j].id;
      learned = lessons[j].learned_duration;
      return true;
    }
    return false;
  }

  // Opens the player on lesson `index` of class "c1" with a recording page; its side panel
  // downloads through `downloads`.
  VideoPlayDlg* OpenPlayer(size_t index = 0) {
    OpenOnlinePlayer("c1", lessons[index], &downloads);
    auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
    EXPECT_NE(player, nullptr);
    if (!player) return nullptr;
    player->SetScriptSink([this](const std::wstring& script) {
      std::lock_guard lock(m_mutex);
      scripts.push_back(script);
      events.push_back("script " + WideToUtf8(script));
    });
    player->GetPaintManager().DoLayout();
    return player;
  }

  // A page call through the bridge; `answer` receives the responder's text.
  static void Call(HWND player, const wchar_t* name, const std::wstring& params = L"{}",
                   std::wstring* answer = nullptr) {
    JsResponder responder;
    if (answer)
      responder = [answer](int code, const std::wstring& text) {
        *answer = std::to_wstring(code) + L" " + text;
      };
    SendMessage(player, JsFunctionMessage(name), 0, 0,
                MakePayload<JsCallMessage>(JsCallMessage{params, responder}));
  }

  bool HasScript(const std::wstring& script) {
    std::lock_guard lock(m_mutex);
    for (const auto& s : scripts) {
      if (s == script) return true;
    }
    return false;
  }
  size_t ReportCount() {
    std::lock_guard lock(m_mutex);
    return reports.size();
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(m_mutex);
    return events;
  }

  std::mutex m_mutex;
  std::vector<LessonRecord> lessons;
  std::vector<std::wstring> scripts;
  std::vector<std::string> events;
  std::vector<ReportRecord> reports;
  std::vector<std::string> questions;
  std::vector<std::string> stored;
  std::vector<std::string> shown;
  std::vector<std::string> marked;
  // The download side the players get: its own task list, not the program's.
  DownloadTaskList taskList;
  DownloadCenter downloads{taskList};
  std::vector<std::string> asked;  // "class/lesson" per download asked for
  bool acceptDownloads = true;
  bool acceptReports = true;
  bool acceptQuestions = true;
  bool online = true;
};
