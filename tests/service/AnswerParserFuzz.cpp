// libFuzzer target: any bytes as the answer of any parser. The first byte picks the parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "service/AccountParsers.h"
#include "service/CatalogueParsers.h"
#include "service/Records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);
  AccountRecord person;
  ClassDetail detail;
  int64_t videoSize = 0;
  switch (data[0] % 12) {
    case 0:
      ParseLoginUsrNameAnswer(answer);
      break;
    case 1:
      ParseSendSmsCodeAnswer(answer);
      break;
    case 2:
      ParseLoginSmsCodeAnswer(answer);
      break;
    case 3:
      ParseGetPersonInfoAnswer(answer, person);
      break;
    case 4:
      ParseModifyPersonHeadAnswer(answer);
      break;
    case 5:
      PraseUpPersonInfoAnswer(answer);
      break;
    case 6:
      ParseGetPalyVideoCodeAnswer(answer);
      break;
    case 7:
      ParseGetVideoInfoAnswer(answer, videoSize);
      break;
    case 8:
      ParseUpLearnRecordAnswer(answer);
      break;
    case 9:
      ParseUpMyQuestionsAnswer(answer);
      break;
    case 10:
      ParseGetMyCourseAnswer(answer);
      gSubjectList.Clear();
      break;
    default:
      ParseMyCourseListAnswer(answer, detail);
      break;
  }
  return 0;
}
