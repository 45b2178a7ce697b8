// Download throughput over loopback: one 256 MB file, then four at once, fetched by the
// download engine (pool, job, progress messages) and by the curl command-line tool in the
// same run from the same nginx. Prints MB/s of both, their ratio and CPU time per MB.
// Usage: download_bench [size in MB (default 256)] [rounds (default 3)]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TestServers.h"
#include "downloads/DownloadJob.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/ThreadPool.h"
#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Figure {
  double seconds = 0;
  double cpuSeconds = 0;
};

double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void MakeSource(const fs::path& path, std::size_t megabytes) {
  std::mt19937_64 random(42);
  std::vector<std::uint64_t> block(1024 * 1024 / 8);
  std::ofstream out(path, std::ios::binary);
  for (std::size_t i = 0; i < megabytes; ++i) {
    for (auto& word : block) word = random();
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
  }
}

// Runs `count` curl processes at once, each into its own file.
Figure RunCurl(const std::string& url, const fs::path& folder, int count) {
  const auto start = Clock::now();
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const std::string out = (folder / ("curl" + std::to_string(i) + ".bin")).string();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execlp("curl", "curl", "-s", "-o", out.c_str(), url.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    children.push_back(pid);
  }
  Figure figure;
  for (pid_t pid : children) {
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    figure.cpuSeconds += CpuSeconds(usage);
  }
  figure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return figure;
}

// Runs `count` downloads through the engine and waits for their completion messages.
Figure RunEngine(const std::string& url, const fs::path& folder, int count, ThreadPool& pool, int round,
                 int* failures) {
  int finished = 0;
  MessageWindow window([&](UINT msg, WPARAM wParam, LPARAM, const Payload&) -> LRESULT {
    if (msg == WM_DOWNLOAD_RESULT) {
      ++finished;
      if (wParam != 0) ++*failures;
    }
    return 0;
  });
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    DownloadTask task;
    task.notifyWindow = window.GetHWND();
    task.classId = "bench";
    task.className = "bench";
    task.id = std::to_string(round) + "-" + std::to_string(count) + "-" + std::to_string(i);
    task.url = url;
    task.localFile = (folder / ("engine" + std::to_string(i) + ".bin")).string();
    task.kind = TaskKind::Video;
    DownloadTaskList::Get().AddTask(task, task.kind);
    SubmitDownload(task, pool);
  }
  RunNestedLoopUntil([&] { return finished == count; });
  Figure figure;
  figure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  figure.cpuSeconds = CpuSeconds(after) - CpuSeconds(before);
  return figure;
}

bool SameSizes(const fs::path& folder, const char* prefix, int count, std::uintmax_t size) {
  for (int i = 0; i < count; ++i) {
    std::error_code ec;
    if (fs::file_size(folder / (std::string(prefix) + std::to_string(i) + ".bin"), ec) != size) return false;
  }
  return true;
}

void RemoveDownloads(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  char pattern[] = "/tmp/tavo-download-bench-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  fs::create_directories(root / "www");
  fs::create_directories(root / "out");
  for (const char* xdg : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
    ::setenv(xdg, (root / "xdg").c_str(), 1);
  }
  std::printf("making a %zu MB file in %s\n", megabytes, root.c_str());
  MakeSource(root / "www" / "file.bin", megabytes);
  const std::uintmax_t size = fs::file_size(root / "www" / "file.bin");

  NginxServer nginx(root / "www", root / "nginx");
  if (!nginx.Start()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  InitMessageCore();
  ThreadPool pool;
  pool.Create();
  const std::string url = nginx.Url("/file.bin");
  int failures = 0;

  for (int parallel : {1, 4}) {
    std::vector<double> curlRates, engineRates, curlCpu, engineCpu, ratios;
    for (int round = 0; round < rounds; ++round) {
      const Figure curl = RunCurl(url, root / "out", parallel);
      const bool curlOk = SameSizes(root / "out", "curl", parallel, size);
      RemoveDownloads(root / "out");
      const Figure engine = RunEngine(url, root / "out", parallel, pool, round, &failures);
      const bool engineOk = SameSizes(root / "out", "engine", parallel, size);
      RemoveDownloads(root / "out");
      if (!curlOk || !engineOk) {
        std::fprintf(stderr, "incomplete download (curl %d, engine %d)\n", curlOk, engineOk);
        return 1;
      }
      const double total = static_cast<double>(size) * parallel / (1024.0 * 1024.0);
      curlRates.push_back(total / curl.seconds);
      engineRates.push_back(total / engine.seconds);
      curlCpu.push_back(curl.cpuSeconds * 1000.0 / total);
      engineCpu.push_back(engine.cpuSeconds * 1000.0 / total);
      ratios.push_back(engineRates.back() / curlRates.back());
      std::printf("%d x %zu MB round %d: engine %.0f MB/s, curl %.0f MB/s, ratio %.2f\n", parallel, megabytes,
                  round + 1, engineRates.back(), curlRates.back(), ratios.back());
    }
    std::printf(
        "== %d x %zu MB (median of %d): engine %.0f MB/s, curl %.0f MB/s, ratio %.2f; "
        "CPU per MB: engine %.2f ms, curl %.2f ms\n",
        parallel, megabytes, rounds, Median(engineRates), Median(curlRates), Median(ratios),
        Median(engineCpu), Median(curlCpu));
  }
  pool.Shutdown();
  ShutdownMessageCore();
  nginx.Stop();
  fs::remove_all(root);
  return failures == 0 ? 0 : 1;
}
