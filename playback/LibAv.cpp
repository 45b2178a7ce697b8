// libavformat and libavutil loaded at the first probe.
#include "playback/LibAv.h"

#include <libavutil/macros.h>

#include "app/Log.h"
#include "app/TextConv.h"

const char* const LibAv::kFormatSoname = "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR);
const char* const LibAv::kUtilSoname = "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR);

LibAv::LibAv(const std::string& formatSoname, const std::string& utilSoname)
    : m_util(utilSoname), m_format(formatSoname) {}

std::unique_ptr<LibAv> LibAv::Load(const std::string& formatSoname, const std::string& utilSoname) {
  std::unique_ptr<LibAv> av(new LibAv(formatSoname, utilSoname));
  const bool ok = av->m_util.loaded() && av->m_format.loaded() &&
                  av->m_format.Resolve("avformat_open_input", av->open_input) &&
                  av->m_format.Resolve("avformat_find_stream_info", av->find_stream_info) &&
                  av->m_format.Resolve("avformat_close_input", av->close_input) &&
                  av->m_util.Resolve("av_dict_set", av->dict_set) &&
                  av->m_util.Resolve("av_dict_free", av->dict_free) &&
                  av->m_util.Resolve("av_strerror", av->error_text);
  if (ok) return av;
  const std::string& why = !av->m_util.error().empty() ? av->m_util.error() : av->m_format.error();
  LogError(L"media probe: " + AnsiToWide(formatSoname) + L" and " + AnsiToWide(utilSoname) +
           L" cannot be used (" + AnsiToWide(why) +
           L"): videos are not probed and open in the default application");
  return nullptr;
}

const LibAv* LibAv::Get() {
  static const std::unique_ptr<LibAv> loaded = Load(kFormatSoname, kUtilSoname);
  return loaded.get();
}
