// Tests of ParseIIF.parseFile on real files: the example company files against
// their expected conversions, line ends, copied lines, and the failure paths
// with what they leave in the output.
#include "component/parse_iif.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/error.h"

namespace kestle {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ParseIifTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("kestle_parse_iif_test_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    in_ = (dir_ / "in.iif").string();
    out_ = (dir_ / "out.iif").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Converts `input` and returns the output file's bytes.
  std::string Convert(const std::string& input) {
    WriteBytes(in_, input);
    ParseIIF().parseFile(in_, out_);
    return ReadBytes(out_);
  }

  // Converts `input`, expecting a failure; returns its error number.
  int ConvertFails(const std::string& input) {
    WriteBytes(in_, input);
    try {
      ParseIIF().parseFile(in_, out_);
    } catch (const RuntimeError& e) {
      return e.number();
    }
    ADD_FAILURE() << "no error";
    return 0;
  }

  fs::path dir_;
  std::string in_;
  std::string out_;
};

TEST_F(ParseIifTest, ExampleFilesConvertToTheirExpectedFiles) {
  fs::path examples = fs::path(KESTLE_SOURCE_DIR) / "examples";
  int checked = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(examples)) {
    if (entry.path().extension() != ".iif") continue;
    fs::path expected = examples / "expected" / entry.path().filename();
    ASSERT_TRUE(fs::exists(expected)) << expected;
    ParseIIF().parseFile(entry.path().string(), out_);
    EXPECT_EQ(ReadBytes(out_), ReadBytes(expected)) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 2);
}

TEST_F(ParseIifTest, ConvertsTheFourListsAndCopiesTheRest) {
  std::string input =
      "!INVITEM\tNAME\tFOREIGNPRICE\tDESC\tVATCODE\tPURCHVATCODE\tAMTINCVAT\tPRICE\r\n"
      "INVITEM\tTea\t1.10\tEarl Grey\tS\tS\tN\t2.50\r\n"
      "!CUST\tNAME\tVATCODE\tSALESTAXCODE\r\n"
      "CUST\tPike\tZ\tZ\r\n"
      "!VEND\tNAME\tUSECURRENCY\tNAMECURRENCY\tTERMS\r\n"
      "VEND\tImports\tY\tEuro\t60 days\r\n"
      "!EMP\tNAME\tPROVINCE\tEMPNO\tPOSTCODE\r\n"
      "EMP\tRoy\tQC\t0007\tG1R 2K4\r\n"
      "!TRNS\tTRNSTYPE\tAMOUNT\r\n"
      "TRNS\tINVOICE\t\"1,000.00\"\r\n";
  EXPECT_EQ(Convert(input),
            "!INVITEM\tNAME\tDESC\tSTAXCODE\tPTAXCODE\tPRICE\r\n"
            "INVITEM\tTea\tEarl Grey\tS\tS\t2.50\r\n"
            "!CUST\tNAME\tTAXCODE\r\n"
            "CUST\tPike\tZ\r\n"
            "!VEND\tNAME\tTERMS\r\n"
            "VEND\tImports\t60 days\r\n"
            "!EMP\tNAME\tSTATE\tPOSTCODE\r\n"
            "EMP\tRoy\tQC\tG1R 2K4\r\n"
            "!TRNS\tTRNSTYPE\tAMOUNT\r\n"
            "TRNS\tINVOICE\t\"1,000.00\"\r\n");
}

TEST_F(ParseIifTest, LineEnds) {
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
  };
  for (const Case& c : cases) EXPECT_EQ(Convert(c.input), c.output) << c.input;
}

TEST_F(ParseIifTest, RewrittenLinesTakeEveryKindOfLineEnd) {
  EXPECT_EQ(Convert("!EMP\tEMPNO\tNAME\nEMP\t7\tRoy\rEMP\t8\tHart"),
            "!EMP\tNAME\r\nEMP\tRoy\r\nEMP\tHart\r\n");
}

TEST_F(ParseIifTest, OtherLinesAreCopiedByteForByte) {
  std::string odd_bytes = "TRNS\t\xE9\xE8\x80\xFF\t\"a\"\"b\"\t";
  odd_bytes += std::string(1, '\0') + "nul\t \t";
  std::string input = odd_bytes + "\r\n!invitem\tSALESTAXCODE\r\n !CUST\tSALESTAXCODE\r\n" +
                      "!EMP \tEMPNO\r\nEmp\t1\r\n";
  EXPECT_EQ(Convert(input), input);
}

TEST_F(ParseIifTest, RowsBeforeTheirHeaderAndAfterAnEmptyHeaderAreUnchanged) {
  std::string input =
      "INVITEM\ta\tb\r\nCUST\ta\r\n!INVITEM\tSALESTAXCODE\tX\r\nINVITEM\ts\tx\r\n"
      "!INVITEM\r\nINVITEM\ts\tx\r\n";
  EXPECT_EQ(Convert(input),
            "INVITEM\ta\tb\r\nCUST\ta\r\n!INVITEM\tX\r\nINVITEM\tx\r\n!INVITEM\r\n"
            "INVITEM\ts\tx\r\n");
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

TEST_F(ParseIifTest, OutputIsCutToTheNewContents) {
  WriteBytes(out_, "old contents that are longer than the new ones\r\n");
  EXPECT_EQ(Convert(""), "");
  EXPECT_EQ(Convert("X"), "X\r\n");
}

TEST_F(ParseIifTest, ShortRowFailsWithError9AndKeepsTheLinesBeforeIt) {
  std::string input =
      "!ACCNT\tNAME\r\nACCNT\tSales\r\n!INVITEM\tA\tB\tSALESTAXCODE\r\nINVITEM\ta\tb\r\n"
      "INVITEM\ta\r\nACCNT\tLater\r\n";
  EXPECT_EQ(ConvertFails(input), err::kSubscriptOutOfRange);
  EXPECT_EQ(ReadBytes(out_), "!ACCNT\tNAME\r\nACCNT\tSales\r\n!INVITEM\tA\tB\r\nINVITEM\ta\tb\r\n");
}

TEST_F(ParseIifTest, MoreThan32767FieldsFailsWithError6) {
  std::string max_row = "CUST" + std::string(32766, '\t');
  EXPECT_EQ(Convert("!CUST\tSALESTAXCODE\r\n" + max_row),
            "!CUST\r\n" + max_row.substr(0, 4) + std::string(32765, '\t') + "\r\n");
  EXPECT_EQ(ConvertFails("A\r\n" + max_row + "\t\r\nB\r\n"), err::kOverflow);
  EXPECT_EQ(ReadBytes(out_), "A\r\n");
  std::string max_other = "OTHER" + std::string(32766, '\t');
  EXPECT_EQ(Convert(max_other), max_other + "\r\n");
  EXPECT_EQ(ConvertFails("A\r\n" + max_other + "\t\r\n"), err::kOverflow);
  EXPECT_EQ(ReadBytes(out_), "A\r\n");
}

TEST_F(ParseIifTest, MissingInputFailsWithError53AndLeavesTheOutputAlone) {
  try {
    ParseIIF().parseFile((dir_ / "missing.iif").string(), out_);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kFileNotFound);
    EXPECT_EQ(e.description(), "File not found");
  }
  EXPECT_FALSE(fs::exists(out_));
  WriteBytes(out_, "kept");
  EXPECT_THROW(ParseIIF().parseFile((dir_ / "missing.iif").string(), out_), RuntimeError);
  EXPECT_EQ(ReadBytes(out_), "kept");
}

TEST_F(ParseIifTest, OutputThatCannotBeCreatedFailsWithItsOpenError) {
  WriteBytes(in_, "A\r\n");
  try {
    ParseIIF().parseFile(in_, (dir_ / "no_such_folder" / "out.iif").string());
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kPathNotFound);
  }
  EXPECT_EQ(ReadBytes(in_), "A\r\n");
}

TEST_F(ParseIifTest, SameFileFailsWithError75AndTouchesNeither) {
  const std::string input = "!INVITEM\tSALESTAXCODE\r\nINVITEM\tx\r\n";
  WriteBytes(in_, input);
  fs::path link = dir_ / "link.iif";
  fs::create_hard_link(in_, link);
  for (const std::string& out : {in_, link.string(), (dir_ / "." / "in.iif").string()}) {
    try {
      ParseIIF().parseFile(in_, out);
      FAIL() << "no error for " << out;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), err::kPathFileAccess);
    }
    EXPECT_EQ(ReadBytes(in_), input);
  }
}

TEST_F(ParseIifTest, ProgressReportsTheBytesConsumed) {
  WriteBytes(in_, "A\r\nB\r\n");
  std::vector<uint64_t> seen;
  ParseIIF parser;
  parser.set_progress([&seen](uint64_t done) { seen.push_back(done); });
  parser.parseFile(in_, out_);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 6u);
}

TEST_F(ParseIifTest, OutputHasOneLinePerInputLine) {
  std::string input;
  int lines = 0;
  for (int i = 0; i < 3000; ++i, ++lines) {
    switch (i % 6) {
      case 0:
        input += "!CUST\tNAME\tUSECURRENCY\tNAMECURRENCY\tPRICELEVEL\tX";
        break;
      case 1:
        input += "CUST\tn\tu\tc\tp\tx\ty";
        break;
      case 2:
        input += "";
        break;
      case 3:
        input += "!ENDTRNS";
        break;
      case 4:
        input += "VEND\t\t\t";
        break;
      default:
        input += "EMP\tonly";
        break;
    }
    input += i % 2 ? "\n" : "\r\n";
  }
  std::string out = Convert(input);
  int out_lines = 0;
  for (size_t p = 0; (p = out.find("\r\n", p)) != std::string::npos; p += 2) ++out_lines;
  EXPECT_EQ(out_lines, lines);
  EXPECT_EQ(out.find("CUST\tn\tx\ty\r\n") != std::string::npos, true);
}

}  // namespace
}  // namespace kestle
