// Figures of the demo school on loopback: streaming a 256 MiB body (throughput and the
// service's peak memory, which must stay flat because bodies stream from disk or a
// generator), ranged reads of a lesson video, and service answers per second.

#include "DemoServer.h"
#include "FileRoutes.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long PeakRssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

}  // namespace

int main() {
    demo_test::TempFolder folder;
    demo_test::DemoServer server;
    if (!server.Start(folder.path() / "state")) {
        std::fprintf(stderr, "demo_bench: the service did not start\n%s", server.ErrorOutput().c_str());
        return 1;
    }
    httplib::Client client(server.host(), server.port());
    client.set_read_timeout(120);
    const long rssBefore = PeakRssKiB(server.pid());

    // 1. One 256 MiB body, every 997th byte checked while it arrives (a full check would
    //    measure the checker, not the service).
    const std::uint64_t size = 256ull << 20;
    std::uint64_t received = 0, wrong = 0;
    auto start = Clock::now();
    auto res = client.Get(("/bench/blob?size=" + std::to_string(size)).c_str(), [&](const char* data, size_t n) {
        for (size_t i = (997 - received % 997) % 997; i < n; i += 997)
            wrong += static_cast<unsigned char>(data[i]) != demo::BenchByte(received + i);
        received += n;
        return true;
    });
    const double blobSeconds = Seconds(start);
    std::printf("blob 256 MiB: %llu bytes in %.2f s = %.0f MiB/s, %llu wrong bytes\n",
                static_cast<unsigned long long>(received), blobSeconds, received / blobSeconds / (1 << 20),
                static_cast<unsigned long long>(wrong));
    std::printf("service peak RSS: %ld KiB before, %ld KiB after the 256 MiB body\n", rssBefore,
                PeakRssKiB(server.pid()));
    if (!res || received != size || wrong != 0) return 1;

    // 2. Random 64 KiB ranges of a lesson video (a player seeking, a download resuming).
    auto head = client.Head("/media/v400101.mp4");
    const std::uint64_t videoSize = head ? std::stoull(head->get_header_value("Content-Length")) : 0;
    std::mt19937_64 random(42);
    const int ranges = 2000;
    start = Clock::now();
    int partial = 0;
    for (int i = 0; i < ranges && videoSize > 65536; ++i) {
        const std::uint64_t first = random() % (videoSize - 65536);
        auto r = client.Get("/media/v400101.mp4",
                            {{"Range", "bytes=" + std::to_string(first) + "-" + std::to_string(first + 65535)}});
        partial += r && r->status == 206 && r->body.size() == 65536;
    }
    const double rangeSeconds = Seconds(start);
    std::printf("video ranges: %d of %d answered 206 with 64 KiB, %.0f requests/s\n", partial, ranges,
                ranges / rangeSeconds);

    // 3. Service answers: the whole catalogue and a class detail, one connection.
    auto login = client.Post("/api/login", "username=lixiaoming&password=xm123456", "application/x-www-form-urlencoded");
    const std::string body = login ? login->body : "";
    const size_t at = body.find("\"token\":\"");
    const std::string token = at == std::string::npos ? "" : body.substr(at + 9, body.find('"', at + 9) - at - 9);
    const int calls = 1000;
    start = Clock::now();
    int ok = 0;
    size_t catalogueBytes = 0;
    for (int i = 0; i < calls; ++i) {
        auto r = client.Post(i % 2 ? "/api/user/myClass" : "/api/user/myCourse", "token=" + token + "&classId=1101",
                             "application/x-www-form-urlencoded");
        ok += r && r->body.rfind("{\"code\":200", 0) == 0;
        if (r && i == 0) catalogueBytes = r->body.size();
    }
    std::printf("service answers: %d of %d ok, %.0f answers/s (catalogue answer %zu bytes)\n", ok, calls,
                calls / Seconds(start), catalogueBytes);
    return 0;
}
