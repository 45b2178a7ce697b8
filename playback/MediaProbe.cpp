// The H.264 probe on libavformat, loaded at the first probe.
#include "playback/MediaProbe.h"

#include <memory>

#include "app/Log.h"
#include "app/TextConv.h"
#include "playback/LibAv.h"

namespace {

constexpr const char* kContainers = "mov,mp4,matroska,webm,avi,flv,mpegts,mpeg,asf,ogg,wav,mp3,aac,h264,hevc";

struct InputCloser {
  const LibAv* av;
  void operator()(AVFormatContext* context) const { av->close_input(&context); }
};

std::wstring ErrorText(const LibAv& av, int code) {
  char text[1024] = {};
  av.error_text(code, text, sizeof text);
  return Utf8ToWide(text);
}

}  // namespace

bool IsH264File(const std::string& path) {
  const LibAv* av = LibAv::Get();
  if (!av) return false;
  // Plain containers of this one local file only: a downloaded file could be a playlist
  // or a concatenation list whose entries name network addresses or other files, which
  // are never followed.
  AVDictionary* options = nullptr;
  av->dict_set(&options, "protocol_whitelist", "file", 0);
  av->dict_set(&options, "format_whitelist", kContainers, 0);
  AVFormatContext* raw = nullptr;
  int rc = av->open_input(&raw, ("file:" + path).c_str(), nullptr, &options);
  av->dict_free(&options);
  if (rc < 0) {
    LogError(L"IsH264File avformat_open_input: " + ErrorText(*av, rc) + L" " + AnsiToWide(path));
    return false;
  }
  std::unique_ptr<AVFormatContext, InputCloser> input(raw, InputCloser{av});
  rc = av->find_stream_info(input.get(), nullptr);
  if (rc < 0) {
    LogError(L"IsH264File avformat_find_stream_info: " + ErrorText(*av, rc) + L" " + AnsiToWide(path));
    return false;
  }
  return input->nb_streams > 0 && input->streams[0]->codecpar->codec_id == AV_CODEC_ID_H264;
}
