// Small real media files for the tests, encoded at test time with libavcodec and muxed
// with libavformat: a few frames of a moving picture and a tone.
#pragma once

#include <string>
#include <vector>

// Writes `path` (the container follows its extension: .mp4, .webm, .wav, ...) with one
// stream per encoder name, in the order given ("libx264", "libvpx-vp9", "aac",
// "pcm_s16le", "libopus"). False (with the reason in `error`) when an encoder is missing
// or writing fails.
bool WriteMedia(const std::string& path, const std::vector<std::string>& encoders, std::string& error,
                int frames = 10);
