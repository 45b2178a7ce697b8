// Machine identifier, os-release reading and the version text.
#include <gtest/gtest.h>

#include <regex>

#include "app/SystemInfo.h"

namespace {

// Expected identifiers were worked out by hand from the grouping and transformation rules
// (with a separate throw-away script), not taken from this program.
TEST(MachineIdTest, GroupsAndTransformsFixedRawIds) {
  struct Case {
    const char* name;
    const char* raw;
    const char* id;
  };
  const Case cases[] = {
      {"typical Intel processor and disk", "BFEBFBFF000906EA0000000000000000ABCD1234",
       "GJHDG-KNI88-6378N-H5005-37622-05265-38HHD-M4252"},
      {"typical AMD processor and disk", "178BFBFF00A20F1000000000000000007F3E9C01",
       "436DG-KNI88-J26L4-15005-37622-05265-387L9-N5J14"},
      {"all zeros: the counter wraps and negative values give 5",
       "0000000000000000000000000000000000000000",
       "44558-58268-62807-85554-50173-23715-41546-44082"},
      {"every digit", "1111122222333334444455555666667777788888",
       "44444-22222-95749-25682-34793-66242-77777-26452"},
      {"no disk part", "178BFBFF00A20F100000000000000000", "236GH-BGN15-E26I2-78055-38315-00235-60"},
      {"exactly one group: no dash after the last character", "ABCDE", "DDHHN"},
      {"a group of one", "ABCDEF", "FFFFF-O"},
      {"one digit", "9", "4"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MachineIdFromRaw(c.raw), c.id) << c.name;
}

TEST(MachineIdTest, ThisMachinesIdHasTheDesignedShape) {
  std::string id = GetMachineId();
  EXPECT_TRUE(std::regex_match(id, std::regex(R"([0-9A-Z]{5}(-[0-9A-Z]{5}){7})"))) << id;
  EXPECT_EQ(GetMachineId(), id);
}

TEST(OsNameTest, RunsIdAndVersionTogether) {
  struct Case {
    const char* text;
    const char* name;
  };
  const Case cases[] = {
      {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
       "VERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\nID=debian\n",
       "debian12"},
      {"ID='ubuntu'\nVERSION_ID='22.04'", "ubuntu22.04"},
      {"ID=arch\nBUILD_ID=rolling\n", "arch"},
      {"VERSION_ID=1\nXID=nope\n", "1"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(OsNameFromRelease(c.text), c.name) << c.text;
  EXPECT_FALSE(GetOsName().empty());
}

TEST(VersionTextTest, FallsBackWhenNoneIsBuiltIn) {
  EXPECT_EQ(FileVersionTextFrom(""), L"None VerSion Supprot");
  EXPECT_EQ(FileVersionTextFrom("1.2.3.4"), L"1.2.3.4");
  EXPECT_FALSE(GetFileVersionText().empty());
  EXPECT_NE(GetFileVersionText(), L"None VerSion Supprot");
}

}  // namespace
