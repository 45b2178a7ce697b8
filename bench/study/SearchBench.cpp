// Search latency on a catalogue of 6,000 classes, 50,000 lessons and 200 extracted PDFs:
// the search index (trigram FTS5, a scan for one- and two-character words) beside a plain
// LIKE scan of the same entries in the same file, in the same run. Prints its figures.
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/TextConv.h"
#include "study/SearchIndex.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClasses = 6000;
constexpr int kLessons = 50000;
constexpr int kPdfs = 200;
constexpr int kPagesPerPdf = 12;
constexpr int kRuns = 25;

const char* const kWords[] = {
    "言语理解", "主旨概括", "逻辑填空", "片段阅读", "数量关系", "行程问题", "判断推理", "图形推理", "定义判断",
    "类比推理", "资料分析", "增长率",   "比重",     "申论",     "归纳概括", "综合分析", "提出对策", "贯彻执行",
    "文章写作", "常识判断", "政治",     "法律",     "历史",     "地理",     "科技",     "时政热点", "公基",
    "真题精讲", "专项突破", "冲刺",     "模考",     "解析",     "技巧",     "方法",     "入门",     "提高",
    "第一讲",   "第二讲",   "第三讲",   "课后练习", "题型特征", "解题思路", "关联词",   "主题词",   "行文脉络"};

std::string Words(std::mt19937& random, int count) {
  std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
  std::string text;
  for (int i = 0; i < count; ++i) text += kWords[pick(random)];
  return text;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
  double median = 0;
  double worst = 0;
  size_t hits = 0;
};

template <typename Run>
Figures Measure(Run run) {
  std::vector<double> times;
  size_t hits = 0;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    hits = run();
    times.push_back(Ms(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times.back(), hits};
}

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sql failed: %s\n", error ? error : "");
    std::exit(1);
  }
}

void Keep(sqlite3_stmt* insert, const std::string& item, const std::string& answer) {
  sqlite3_bind_text(insert, 1, item.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(insert, 2, answer.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_step(insert);
  sqlite3_reset(insert);
}

// The kept catalogue as the school would answer it.
void MakeCatalogue(sqlite3* db, std::mt19937& random) {
  Exec(db,
       "CREATE TABLE IF NOT EXISTS catalogueCache (account TEXT NOT NULL, item TEXT NOT NULL, answer TEXT NOT NULL,"
       " savedAt INTEGER NOT NULL, PRIMARY KEY(account, item))");
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO catalogueCache VALUES('bench', ?1, ?2, 1)", -1, &insert, nullptr);
  std::string subjects = R"({"code":200,"msg":"ok","data":{"classes":[)";
  for (int c = 0; c < kClasses; ++c) {
    const std::string id = std::to_string(c + 1);
    subjects += (c ? "," : "") + std::string(R"({"id":")") + id + R"(","name":")" + Words(random, 2) + "班" + id +
                R"(","jiangyi":[{"id":"d)" + id + R"(","class_id":")" + id + R"(","name":")" + Words(random, 2) +
                R"(讲义.pdf"}]})";
    std::string lessons = R"({"code":200,"data":{"lessons":[)";
    const int from = c * kLessons / kClasses;
    const int to = (c + 1) * kLessons / kClasses;
    for (int l = from; l < to; ++l)
      lessons += (l > from ? "," : "") + std::string(R"({"id":"l)") + std::to_string(l) + R"(","name":")" +
                 Words(random, 3) + R"("})";
    Keep(insert, "class:" + id, lessons + "]}}");
  }
  Keep(insert, "subjects", subjects + "]}}");
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
}

}  // namespace

int main() {
  char pattern[] = "/tmp/tavo-search-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::filesystem::path file = std::filesystem::path(pattern) / "course.db";
  std::mt19937 random(7);

  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  MakeCatalogue(db, random);

  SearchIndex index(AnsiToWide(file.string()), "bench");
  if (!index.IsOpen()) return 1;
  auto start = Clock::now();
  for (int d = 0; d < kPdfs; ++d) {
    std::vector<std::string> pages;
    for (int p = 0; p < kPagesPerPdf; ++p) pages.push_back(Words(random, 150));
    index.StorePages("d" + std::to_string(d + 1), std::to_string(d + 1), "讲义", pages);
  }
  const double storeMs = Ms(Clock::now() - start);
  start = Clock::now();
  if (!index.Update()) return 1;
  const double buildMs = Ms(Clock::now() - start);
  start = Clock::now();
  index.Update();
  const double noChangeMs = Ms(Clock::now() - start);

  // The same entries in a plain table, for the LIKE scan.
  Exec(db,
       "CREATE TABLE plainEntry AS SELECT kind, itemId, classId, page, title, body FROM searchEntry;");
  sqlite3_stmt* like = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT kind, itemId, page FROM plainEntry WHERE (kind < 3 AND title LIKE ?1) OR"
                     " (kind >= 3 AND body LIKE ?1)",
                     -1, &like, nullptr);
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*), total(length(title) + length(body)) FROM plainEntry", -1, &count, nullptr);
  sqlite3_step(count);
  std::printf("search bench: %d classes, %d lessons, %d PDFs of %d pages: %lld entries, %.1f MB of text\n", kClasses,
              kLessons, kPdfs, kPagesPerPdf, static_cast<long long>(sqlite3_column_int64(count, 0)),
              sqlite3_column_double(count, 1) / 1e6);
  sqlite3_finalize(count);
  std::printf("  pdf text stored in %.0f ms; index built in %.0f ms; update with nothing changed %.0f ms\n", storeMs,
              buildMs, noChangeMs);
  std::printf("  %-14s %28s %34s\n", "query", "index median / worst (hits)", "LIKE scan median / worst (hits)");

  for (const char* query : {"主旨概括", "概括题型", "逻辑", "讲", "不存在的词语", "专项突破 冲刺"}) {
    const Figures indexed = Measure([&] { return index.Search(query).value_or(SearchResults{}).size(); });
    const std::string pattern = std::string("%") + query + "%";
    const Figures scanned = Measure([&] {
      size_t rows = 0;
      sqlite3_bind_text(like, 1, pattern.c_str(), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(like) == SQLITE_ROW) ++rows;
      sqlite3_reset(like);
      return rows;
    });
    std::printf("  %-14s %12.2f / %6.2f ms (%3zu) %16.2f / %6.2f ms (%5zu)\n", query, indexed.median, indexed.worst,
                indexed.hits, scanned.median, scanned.worst, scanned.hits);
  }
  std::printf("  (the index returns at most 20 hits of each kind; the LIKE scan every matching entry)\n");
  sqlite3_finalize(like);
  sqlite3_close(db);
  std::filesystem::remove_all(pattern);
  return 0;
}
