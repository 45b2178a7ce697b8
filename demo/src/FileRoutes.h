// The web-site side of the demo school: the question-bank and buy pages, lecture documents,
// pictures and avatars, the lesson media (with byte ranges), the video service that turns a
// play authorisation into the media address, and a generated blob for download benchmarks.
#pragma once

#include "Context.h"

#include <httplib.h>

#include <cstdint>

namespace demo {

// Byte `offset` of the benchmark blob of /bench/blob: deterministic, so a client can check
// what it downloaded, and different in every 64 KiB block, so a misplaced block shows.
inline unsigned char BenchByte(std::uint64_t offset) {
    return static_cast<unsigned char>(offset % 251 + (offset >> 16));
}

void InstallFileRoutes(httplib::Server& server, Context& context);

}  // namespace demo
