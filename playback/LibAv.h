// The few functions of libavformat and libavutil that the media probe uses, loaded at the
// first probe (dlopen of the sonames of the versions the program was built against) instead
// of linked: starting the program maps neither them nor the many libraries they pull in.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <memory>
#include <string>

#include "platform/SharedLibrary.h"

class LibAv {
 public:
  // The sonames matching the headers: a library of another major version has another layout.
  static const char* const kFormatSoname;
  static const char* const kUtilSoname;

  // The process's libraries, loaded by the first caller (on any thread) and kept until exit;
  // null when they cannot be loaded, which leaves one log line.
  static const LibAv* Get();
  // Loads the two libraries by the given names; null and one log line when either is missing
  // or lacks a function.
  static std::unique_ptr<LibAv> Load(const std::string& formatSoname, const std::string& utilSoname);

  decltype(&avformat_open_input) open_input = nullptr;
  decltype(&avformat_find_stream_info) find_stream_info = nullptr;
  decltype(&avformat_close_input) close_input = nullptr;
  decltype(&av_dict_set) dict_set = nullptr;
  decltype(&av_dict_free) dict_free = nullptr;
  decltype(&av_strerror) error_text = nullptr;

 private:
  LibAv(const std::string& formatSoname, const std::string& utilSoname);

  // libavutil first: libavformat needs it, and is closed before it.
  SharedLibrary m_util;
  SharedLibrary m_format;
};
