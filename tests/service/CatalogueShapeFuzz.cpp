// libFuzzer target for the two catalogue answers, built from the shapes the course browser
// reads: the fuzzer's bytes steer a generator that writes "myCourse" and "myClass" answers
// whose lists may be huge, whose fields may be missing or of the wrong type, and whose
// values may nest deeply. Byte-level fuzzing rarely reaches these shapes on its own.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "service/CatalogueParsers.h"
#include "service/Records.h"

namespace {

// One object of the answer: its field names and, for list fields, the item shape.
struct Shape {
  std::vector<const char*> texts;
  std::vector<std::pair<const char*, const Shape*>> lists;
};

const Shape kDocument{
    {"id", "class_id", "name", "sort", "file_size", "file_url", "create_time", "last_time", "is_delete"}, {}};
const Shape kClass{{"id", "name", "img", "subject_id", "exam_id", "deadline"}, {{"jiangyi", &kDocument}}};
const Shape kSubject{{"subject"}, {{"classes", &kClass}}};
const Shape kGroupPackage{{"id", "img", "name", "deadline", "exam_id"}, {{"classes", &kSubject}}};
const Shape kExam{{"id", "name"}, {}};
const Shape kSingle{{"id", "name", "img"}, {}};
const Shape kCourseData{
    {},
    {{"exams", &kExam}, {"gpPackage", &kGroupPackage}, {"singlePackage", &kSingle}, {"classes", &kClass}}};
const Shape kTeacher{{"id", "name", "title", "main_subject", "avatar", "desc"}, {}};
const Shape kLesson{{"id", "sort", "name", "duration", "material_download", "video", "high_video", "csw_id",
                     "learned_duration", "finished_time"},
                    {}};
const Shape kClassData{{"classId", "className", "deadline", "lastLearnLessonId", "lastLearnedDuration",
                        "lessonNum", "lessonIndex", "hasOld", "isTwoTeacher"},
                       {{"teachers", &kTeacher}, {"lessons", &kLesson}}};

// Keeps the text of one run bounded so a run stays fast.
constexpr size_t kMaxText = 8 << 20;

class Writer {
 public:
  explicit Writer(FuzzedDataProvider& in) : m_in(in) {}
  std::string Take() { return std::move(m_out); }

  void Answer(const Shape& data) {
    m_out += "{\"code\":";
    Scalar(m_in.ConsumeIntegralInRange(0, 3) == 0 ? 4 : 1, "200");
    m_out += ",\"msg\":\"ok\",\"data\":";
    if (m_in.ConsumeIntegralInRange(0, 15) == 0) {
      Wrong();
    } else {
      Object(data);
    }
    m_out += '}';
  }

 private:
  void Object(const Shape& shape) {
    m_out += '{';
    bool first = true;
    auto key = [&](const char* name) {
      if (!first) m_out += ',';
      first = false;
      m_out += '"';
      m_out += name;
      m_out += "\":";
    };
    for (const char* name : shape.texts) {
      const int pick = m_in.ConsumeIntegralInRange(0, 7);
      if (pick == 0) continue;  // missing
      key(name);
      if (pick < 5) {
        Text();
      } else {
        Wrong();
      }
    }
    for (const auto& [name, item] : shape.lists) {
      const int pick = m_in.ConsumeIntegralInRange(0, 7);
      if (pick == 0) continue;
      key(name);
      if (pick == 1) {
        Wrong();
      } else {
        List(*item);
      }
    }
    // A duplicate of a key: the first one is what a lookup sees.
    if (!shape.texts.empty() && m_in.ConsumeIntegralInRange(0, 15) == 0) {
      key(shape.texts[0]);
      Text();
    }
    m_out += '}';
  }

  void List(const Shape& item) {
    m_out += '[';
    // Mostly short lists; now and then a huge one of repeated items.
    size_t count = m_in.ConsumeIntegralInRange<size_t>(0, 6);
    if (m_in.ConsumeIntegralInRange(0, 31) == 0) count = m_in.ConsumeIntegralInRange<size_t>(1000, 200000);
    std::string first;
    for (size_t i = 0; i < count && m_out.size() < kMaxText; ++i) {
      if (i) m_out += ',';
      if (i >= 8 && !first.empty()) {
        m_out += first;  // the rest repeats the first item: size without fresh input
        continue;
      }
      const size_t start = m_out.size();
      if (m_depth < 6 && m_in.ConsumeIntegralInRange(0, 9) != 0) {
        ++m_depth;
        Object(item);
        --m_depth;
      } else {
        Wrong();
      }
      if (i == 0) first = m_out.substr(start);
    }
    m_out += ']';
  }

  void Text() {
    m_out += '"';
    for (char c : m_in.ConsumeRandomLengthString(64)) {
      if (c == '"' || c == '\\') m_out += '\\';
      m_out += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
    }
    m_out += '"';
  }

  // A value of a type no reader expects.
  void Wrong() { Scalar(m_in.ConsumeIntegralInRange(0, 7), "\"x\""); }

  void Scalar(int kind, const char* normal) {
    switch (kind) {
      case 0:
        m_out += "null";
        break;
      case 1:
        m_out += normal;
        break;
      case 2:
        m_out += m_in.ConsumeBool() ? "true" : "false";
        break;
      case 3:
        m_out += std::to_string(m_in.ConsumeIntegral<int64_t>());
        break;
      case 4:
        m_out += m_in.ConsumeBool() ? "1e308" : "-0.5";
        break;
      case 5:
        m_out += "{}";
        break;
      case 6:
        m_out += "[]";
        break;
      default:
        Nest();
        break;
    }
  }

  // Deep nesting: arrays or objects inside each other, up to a few hundred thousand levels.
  void Nest() {
    const size_t depth = m_in.ConsumeBool() ? m_in.ConsumeIntegralInRange<size_t>(1, 100)
                                            : m_in.ConsumeIntegralInRange<size_t>(1000, 300000);
    const bool objects = m_in.ConsumeBool();
    for (size_t i = 0; i < depth; ++i) m_out += objects ? "{\"a\":" : "[";
    m_out += "0";
    for (size_t i = 0; i < depth; ++i) m_out += objects ? '}' : ']';
  }

  FuzzedDataProvider& m_in;
  std::string m_out;
  int m_depth = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool course = in.ConsumeBool();
  Writer writer(in);
  writer.Answer(course ? kCourseData : kClassData);
  if (course) {
    ParseGetMyCourseAnswer(writer.Take());
    gSubjectList.Clear();
  } else {
    ClassDetail detail;
    ParseMyCourseListAnswer(writer.Take(), detail);
  }
  return 0;
}
