// Test media on libavcodec and libavformat.
#include "MediaWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
}

#include <memory>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 64;
constexpr int kFps = 10;

struct Track {
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  int64_t next = 0;  // pts of the next frame in the codec's time base
  ~Track() {
    av_frame_free(&frame);
    avcodec_free_context(&codec);
  }
};

std::string Text(int rc) {
  char buf[256] = {};
  av_strerror(rc, buf, sizeof buf);
  return buf;
}

bool Drain(AVFormatContext* out, Track& track, AVFrame* frame, std::string& error) {
  int rc = avcodec_send_frame(track.codec, frame);
  if (rc < 0) {
    error = "send_frame: " + Text(rc);
    return false;
  }
  AVPacket* packet = av_packet_alloc();
  while ((rc = avcodec_receive_packet(track.codec, packet)) >= 0) {
    av_packet_rescale_ts(packet, track.codec->time_base, track.stream->time_base);
    packet->stream_index = track.stream->index;
    rc = av_interleaved_write_frame(out, packet);
    if (rc < 0) break;
  }
  av_packet_free(&packet);
  if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
    error = "write: " + Text(rc);
    return false;
  }
  return true;
}

bool OpenTrack(AVFormatContext* out, const std::string& name, Track& track, std::string& error) {
  const AVCodec* encoder = avcodec_find_encoder_by_name(name.c_str());
  if (!encoder) {
    error = "no encoder " + name;
    return false;
  }
  track.codec = avcodec_alloc_context3(encoder);
  track.frame = av_frame_alloc();
  if (encoder->type == AVMEDIA_TYPE_VIDEO) {
    track.codec->width = kWidth;
    track.codec->height = kHeight;
    track.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    track.codec->time_base = {1, kFps};
    track.codec->framerate = {kFps, 1};
    track.codec->gop_size = kFps;
    track.frame->format = track.codec->pix_fmt;
    track.frame->width = kWidth;
    track.frame->height = kHeight;
  } else {
    track.codec->sample_rate = 48000;
    track.codec->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&track.codec->ch_layout, 1);
    track.codec->bit_rate = 64000;
    track.codec->time_base = {1, track.codec->sample_rate};
  }
  if (out->oformat->flags & AVFMT_GLOBALHEADER) track.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int rc = avcodec_open2(track.codec, encoder, nullptr);
  if (rc < 0) {
    error = "open " + name + ": " + Text(rc);
    return false;
  }
  if (encoder->type == AVMEDIA_TYPE_AUDIO) {
    track.frame->format = track.codec->sample_fmt;
    track.frame->sample_rate = track.codec->sample_rate;
    av_channel_layout_copy(&track.frame->ch_layout, &track.codec->ch_layout);
    track.frame->nb_samples = track.codec->frame_size > 0 ? track.codec->frame_size : 1024;
  }
  if ((rc = av_frame_get_buffer(track.frame, 0)) < 0) {
    error = "frame buffer: " + Text(rc);
    return false;
  }
  track.stream = avformat_new_stream(out, nullptr);
  track.stream->time_base = track.codec->time_base;
  avcodec_parameters_from_context(track.stream->codecpar, track.codec);
  return true;
}

// Fills the next frame: a moving gradient, or silence.
void FillFrame(Track& track) {
  av_frame_make_writable(track.frame);
  if (track.codec->codec_type == AVMEDIA_TYPE_VIDEO) {
    for (int plane = 0; plane < 3; ++plane) {
      int h = plane == 0 ? kHeight : kHeight / 2;
      int w = plane == 0 ? kWidth : kWidth / 2;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          track.frame->data[plane][y * track.frame->linesize[plane] + x] =
              static_cast<uint8_t>(plane == 0 ? x + y + track.next * 3 : 128);
    }
    track.frame->pts = track.next++;
  } else {
    av_samples_set_silence(track.frame->data, 0, track.frame->nb_samples, 1,
                           static_cast<AVSampleFormat>(track.frame->format));
    track.frame->pts = track.next;
    track.next += track.frame->nb_samples;
  }
}

}  // namespace

bool WriteMedia(const std::string& path, const std::vector<std::string>& encoders, std::string& error,
                int frames) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str());
  if (rc < 0 || !raw) {
    error = "no container for " + path;
    return false;
  }
  auto closer = [](AVFormatContext* c) {
    if (c->pb) avio_closep(&c->pb);
    avformat_free_context(c);
  };
  std::unique_ptr<AVFormatContext, decltype(closer)> out(raw, closer);
  std::vector<std::unique_ptr<Track>> tracks;
  for (const std::string& name : encoders) {
    tracks.push_back(std::make_unique<Track>());
    if (!OpenTrack(out.get(), name, *tracks.back(), error)) return false;
  }
  if ((rc = avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0 ||
      (rc = avformat_write_header(out.get(), nullptr)) < 0) {
    error = "header: " + Text(rc);
    return false;
  }
  // Every track covers the same second of time: frames of video, as many audio frames.
  const double seconds = static_cast<double>(frames) / kFps;
  for (auto& track : tracks) {
    while (true) {
      double at = static_cast<double>(track->next) * av_q2d(track->codec->time_base);
      if (at >= seconds) break;
      FillFrame(*track);
      if (!Drain(out.get(), *track, track->frame, error)) return false;
    }
    if (!Drain(out.get(), *track, nullptr, error)) return false;
  }
  if ((rc = av_write_trailer(out.get())) < 0) {
    error = "trailer: " + Text(rc);
    return false;
  }
  return true;
}
