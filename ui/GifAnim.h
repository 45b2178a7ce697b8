// An animated picture (GIF) played frame by frame on a control timer.
#pragma once

#include <memory>

#include "ui/Control.h"

typedef struct _GdkPixbufAnimation GdkPixbufAnimation;
typedef struct _GdkPixbufAnimationIter GdkPixbufAnimationIter;

class CGifAnimUI : public CControlUI {
 public:
  CGifAnimUI();
  ~CGifAnimUI() override;
  std::wstring GetClass() const override { return L"GifAnimUI"; }
  void* GetInterface(std::wstring_view name) override;

  // Loads the animation from a skin file ("up_question_pro.gif").
  bool LoadGif(const std::wstring& file);
  void PlayGif();
  void PauseGif();
  void StopGif();
  bool IsPlaying() const { return m_bPlaying; }
  int GetFrameCount() const { return m_nFrames; }

  void SetVisible(bool visible = true) override;
  void DoInit() override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintBkImage(cairo_t* cr) override;

 private:
  void ScheduleNext();
  void ReleaseAnimation();

  GdkPixbufAnimation* m_animation = nullptr;
  GdkPixbufAnimationIter* m_iter = nullptr;
  cairo_surface_t* m_frame = nullptr;
  std::wstring m_sFile;
  bool m_bAutoPlay = true;
  bool m_bPlaying = false;
  int m_nFrames = 0;
  int64_t m_elapsedMs = 0;
};
