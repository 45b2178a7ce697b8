// How long the catalogue answer takes to parse into gSubjectList, and how much memory it
// needs, on a generated answer of at least 5 MB. Prints its figures.
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "service/CatalogueParsers.h"
#include "service/Records.h"

namespace {

std::string Text(const char* key, const std::string& value) {
  return std::string("\"") + key + "\":\"" + value + "\"";
}

std::string Class(int id, int documents) {
  const std::string n = std::to_string(id);
  std::string out = "{" + Text("id", n) + "," + Text("name", "课程班级 " + n) + "," +
                    Text("img", "/img/class-" + n + ".png") + "," + Text("subject_id", "12") + "," +
                    Text("exam_id", std::to_string(id % 40)) + "," + Text("deadline", "2027-12-31 23:59:59") +
                    ",\"jiangyi\":[";
  for (int d = 0; d < documents; ++d) {
    const std::string dn = n + "-" + std::to_string(d);
    if (d > 0) out += ",";
    out += "{" + Text("id", dn) + "," + Text("class_id", n) + "," +
           Text("name", "第" + std::to_string(d + 1) + "讲 讲义.pdf") + "," +
           Text("sort", std::to_string(d)) + "," + Text("file_size", "1048576") + "," +
           Text("file_url", "/docs/lecture-" + dn + ".pdf") + "," +
           Text("create_time", "2026-09-01 08:00:00") + "," + Text("last_time", "2026-10-01 08:00:00") + "," +
           Text("is_delete", "0") + "}";
  }
  return out + "]}";
}

std::string Catalogue(size_t minimumBytes) {
  std::string exams;
  for (int e = 0; e < 40; ++e) {
    if (e > 0) exams += ",";
    exams += "{" + Text("id", std::to_string(e)) + "," + Text("name", "考试 " + std::to_string(e)) + "}";
  }
  std::string packages;
  std::string classes;
  int next = 0;
  for (int p = 0; packages.size() + classes.size() < minimumBytes; ++p) {
    if (p > 0) packages += ",";
    packages += "{" + Text("id", std::to_string(p)) + "," + Text("img", "/img/p.png") + "," +
                Text("name", "套餐 " + std::to_string(p)) + "," + Text("deadline", "2027-06-30") + "," +
                Text("exam_id", std::to_string(p % 40)) + ",\"classes\":[";
    for (int s = 0; s < 4; ++s) {
      if (s > 0) packages += ",";
      packages += "{" + Text("subject", "科目 " + std::to_string(s)) + ",\"classes\":[";
      for (int c = 0; c < 3; ++c) packages += (c > 0 ? "," : "") + Class(next++, 4);
      packages += "]}";
    }
    packages += "]}";
    if (p % 2 == 0) classes += (classes.empty() ? "" : ",") + Class(next++, 8);
  }
  return R"({"code":200,"msg":"ok","data":{"curExam":{"id":"1"},"exams":[)" + exams + "],\"gpPackage\":[" +
         packages + R"(],"singlePackage":[{"id":"1","name":"单科","img":"/img/s.png"}],"classes":[)" +
         classes + "]}}";
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace

int main() {
  const std::string answer = Catalogue(size_t{6} << 20);
  const size_t heapBefore = HeapInUse();
  const long peakBefore = PeakRssKb();

  constexpr int kRuns = 15;
  std::vector<double> millis;
  size_t heapWithCatalogue = 0;
  size_t classesInCatalogue = 0;
  for (int run = 0; run < kRuns; ++run) {
    gSubjectList.Clear();
    std::string copy = answer;  // parsed in place, so each run gets its own buffer
    const auto start = std::chrono::steady_clock::now();
    ParseGetMyCourseAnswer(std::move(copy));
    millis.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (run == 0) {
      heapWithCatalogue = HeapInUse();
      for (const auto& [exam, packages] : gSubjectList.PackagesByExam) {
        for (const auto& package : packages) {
          for (const auto& subject : package.classes) classesInCatalogue += subject.classes.size();
        }
      }
      classesInCatalogue += gSubjectList.Classes.size();
    }
  }
  const long peakAfter = PeakRssKb();
  std::sort(millis.begin(), millis.end());

  std::printf("ParseGetMyCourse on a generated catalogue\n");
  std::printf("  answer size            %.2f MB (%zu bytes)\n", answer.size() / 1048576.0, answer.size());
  std::printf("  records                %zu exams, %zu package lists, %zu classes\n",
              gSubjectList.ExamNames.size(), gSubjectList.PackagesByExam.size(), classesInCatalogue);
  std::printf("  parse time             min %.1f ms, median %.1f ms, max %.1f ms (%d runs)\n", millis.front(),
              millis[millis.size() / 2], millis.back(), kRuns);
  std::printf("  throughput (median)    %.0f MB/s\n",
              answer.size() / 1048576.0 / (millis[millis.size() / 2] / 1000.0));
  std::printf("  catalogue heap         %.2f MB held by gSubjectList after a parse\n",
              (static_cast<double>(heapWithCatalogue) - static_cast<double>(heapBefore)) / 1048576.0);
  std::printf("  peak RSS               %.2f MB before parsing, %.2f MB after (+%.2f MB)\n",
              peakBefore / 1024.0, peakAfter / 1024.0, (peakAfter - peakBefore) / 1024.0);
  return 0;
}
