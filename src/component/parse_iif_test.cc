// ParseIIF.parseFile on real files: the example company files against their
// expected conversions, line ends, copied lines, the field-count limit, state
// that must not outlive a call, and the failure paths with what they leave.
#include "component/parse_iif.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/error.h"
#include "platform/scratch_test_util.h"

namespace kestle {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

class ParseIifTest : public ::testing::Test {
 protected:
  // Converts `input` and returns the output file's bytes.
  std::string Convert(const std::string& input) {
    WriteBytes(in_, input);
    ParseIIF().parseFile(in_, out_);
    return ReadBytes(out_);
  }

  // Converts `in` (the file `in_` holding `input` when given) into `out`,
  // returning the number of the error it raises (0: none).
  int ConvertFails(const std::string& input, const std::string& in = "", std::string out = "") {
    if (in.empty()) WriteBytes(in_, input);
    return testing::ErrorNumberOf(
        [&] { ParseIIF().parseFile(in.empty() ? in_ : in, out.empty() ? out_ : out); });
  }

  testing::ScratchDir dir_;
  std::string in_ = dir_.File("in.iif");
  std::string out_ = dir_.File("out.iif");
};

TEST_F(ParseIifTest, ExampleFilesConvertToTheirExpectedFiles) {
  const std::filesystem::path examples = std::filesystem::path(KESTLE_SOURCE_DIR) / "examples";
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(examples)) {
    if (entry.path().extension() != ".iif") continue;
    const std::filesystem::path expected = examples / "expected" / entry.path().filename();
    ASSERT_TRUE(std::filesystem::exists(expected)) << expected;
    ParseIIF().parseFile(entry.path().string(), out_);
    EXPECT_EQ(ReadBytes(out_), ReadBytes(expected)) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 2);
}

TEST_F(ParseIifTest, EveryLineEndsInCrLfAndTheOutputIsCutToTheNewContents) {
  WriteBytes(out_, "old contents that are longer than the new ones\r\n");
  struct Case {
    const char* input;
    const char* output;
  } cases[] = {
      {"", ""},
      {"A", "A\r\n"},
      {"A\r\n", "A\r\n"},
      {"A\r", "A\r\n"},
      {"A\n", "A\r\n"},
      {"A\r\nB\rC\nD", "A\r\nB\r\nC\r\nD\r\n"},
      {"\r\n", "\r\n"},
      {"\r\n\r\n", "\r\n\r\n"},
      {"A\n\rB", "A\r\n\r\nB\r\n"},
      {"A\r\r\nB", "A\r\n\r\nB\r\n"},
      {"\t\t\r\n", "\t\t\r\n"},
      // Rewritten lines take every kind of line end too.
      {"!EMP\tEMPNO\tNAME\nEMP\t7\tRoy\rEMP\t8\tHart", "!EMP\tNAME\r\nEMP\tRoy\r\nEMP\tHart\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Convert(c.input), c.output) << c.input;
}

TEST_F(ParseIifTest, OtherLinesAreCopiedByteForByte) {
  std::string odd_bytes = "TRNS\t\xE9\xE8\x80\xFF\t\"a\"\"b\"\t";
  odd_bytes += std::string(1, '\0') + "nul\t \t";
  std::string input = odd_bytes + "\r\n!invitem\tSALESTAXCODE\r\n !CUST\tSALESTAXCODE\r\n" +
                      "!EMP \tEMPNO\r\nEmp\t1\r\n";
  EXPECT_EQ(Convert(input), input);
}

TEST_F(ParseIifTest, NothingCarriesOverFromOneCallToTheNext) {
  ParseIIF parser;
  WriteBytes(in_, "!INVITEM\tSALESTAXCODE\r\n!CUST\tSALESTAXCODE\r\n!EMP\tEMPNO\r\n");
  parser.parseFile(in_, out_);
  const std::string rows = "INVITEM\ts\tx\r\nCUST\ts\tx\r\nEMP\te\tx\r\n";
  WriteBytes(in_, rows);
  parser.parseFile(in_, out_);
  EXPECT_EQ(ReadBytes(out_), rows);
}

TEST_F(ParseIifTest, FilesThatCannotBeOpenedFailWithTheirErrorAndChangeNothing) {
  const std::string input = "!INVITEM\tSALESTAXCODE\r\nINVITEM\tx\r\n";
  const std::string missing = dir_.File("missing.iif");
  EXPECT_EQ(ConvertFails("", missing), err::kFileNotFound);
  EXPECT_FALSE(testing::Exists(out_));
  WriteBytes(out_, "kept");
  EXPECT_EQ(ConvertFails("", missing), err::kFileNotFound);
  EXPECT_EQ(ReadBytes(out_), "kept");

  EXPECT_EQ(ConvertFails(input, "", dir_.File("no_such_folder/out.iif")), err::kPathNotFound);
  // The same file under any name touches neither.
  std::filesystem::create_hard_link(in_, dir_.File("link.iif"));
  for (const std::string& out : {in_, dir_.File("link.iif"), dir_.File("./in.iif")}) {
    EXPECT_EQ(ConvertFails(input, "", out), err::kPathFileAccess) << out;
    EXPECT_EQ(ReadBytes(in_), input);
  }
}

}  // namespace
}  // namespace kestle
