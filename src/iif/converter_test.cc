// Tests of the streaming driver on real files: line ends cut at any block
// boundary, lines longer than a block, progress and the failure path.
#include "iif/converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/scratch_test_util.h"

namespace kestle::iif {
namespace {

class ConverterTest : public ::testing::Test {
 protected:
  // Converts `input` with the given block size and returns the output.
  std::string Convert(const std::string& input, size_t block_size) {
    kestle::testing::WriteBytes(in_, input);
    ConvertOptions options;
    options.block_size = block_size;
    ConvertFile(Env::Default(), in_, out_, options);
    return kestle::testing::ReadBytes(out_);
  }

  kestle::testing::ScratchDir dir_;
  std::string in_ = dir_.File("in.iif");
  std::string out_ = dir_.File("out.iif");
};

// Lines of an item list, a customer list and other lists, joined by every
// kind of line end.
std::string MixedInput(std::mt19937& rng) {
  const std::vector<std::string> lines = {
      "!INVITEM\tNAME\tFOREIGNPRICE\tVATCODE\tAMTINCVAT\tPRICE",
      "INVITEM\tTea\t1.00\tS\tN\t2.50",
      "",
      "!ACCNT\tNAME\tACCNTTYPE",
      "ACCNT\tSales\tINC",
      "!CUST\tNAME\tSALESTAXCODE\tCITY",
      "CUST\tPike\tZ\tYork",
      "\t\t",
      "INVITEM\tPot\t\tZ\tY\t24.00",
      "TRNS\tINVOICE\t\"quoted\ttext\"",
  };
  const char* ends[] = {"\r\n", "\r", "\n"};
  std::string s;
  for (int i = 0; i < 60; ++i) {
    s += lines[rng() % lines.size()];
    s += ends[rng() % 3];
  }
  s += "CUST\tLast\tE\tno terminator";
  return s;
}

TEST_F(ConverterTest, BlockBoundariesDoNotChangeTheOutput) {
  std::mt19937 rng(7);
  for (int round = 0; round < 5; ++round) {
    std::string input = MixedInput(rng);
    std::string expected = Convert(input, 1 << 20);
    for (size_t block : {1, 2, 3, 4, 5, 7, 16, 61, 256}) {
      ASSERT_EQ(Convert(input, block), expected) << "block " << block << " round " << round;
    }
  }
}

TEST_F(ConverterTest, CrLfSplitAcrossBlocksIsOneLineEnd) {
  // With 2-byte blocks the CR of "A\r\n" ends one block and its LF starts the
  // next; it must not give an extra empty line.
  EXPECT_EQ(Convert("A\r\nB\r\n", 2), "A\r\nB\r\n");
  EXPECT_EQ(Convert("A\r", 2), "A\r\n");
  EXPECT_EQ(Convert("A\r\r\n", 2), "A\r\n\r\n");
  EXPECT_EQ(Convert("A\n\rB", 2), "A\r\n\r\nB\r\n");
}

TEST_F(ConverterTest, LinesLongerThanABlock) {
  std::string long_field(100000, 'x');
  std::string input = "!INVITEM\tA\tSALESTAXCODE\tB\r\nINVITEM\t" + long_field + "\tdrop\t" +
                      long_field + "\r\nOTHER\t" + long_field + "\nEND";
  std::string expected = "!INVITEM\tA\tB\r\nINVITEM\t" + long_field + "\t" + long_field +
                         "\r\nOTHER\t" + long_field + "\r\nEND\r\n";
  EXPECT_EQ(Convert(input, 4096), expected);
  EXPECT_EQ(Convert(input, 1), expected);
}

TEST_F(ConverterTest, ProgressCountsEveryInputByte) {
  std::string input(10000, 'a');
  for (size_t i = 50; i < input.size(); i += 50) input[i] = '\n';
  kestle::testing::WriteBytes(in_, input);
  std::vector<uint64_t> seen;
  ConvertOptions options;
  options.block_size = 1024;
  options.progress = [&seen](uint64_t done) { seen.push_back(done); };
  ConvertFile(Env::Default(), in_, out_, options);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), input.size());
}

TEST_F(ConverterTest, FailureKeepsEveryLineBeforeItWhateverTheBlockSize) {
  std::string good;
  for (int i = 0; i < 500; ++i) good += "INVITEM\trow " + std::to_string(i) + "\tdrop\r\n";
  std::string input = "!INVITEM\tNAME\tSALESTAXCODE\r\n" + good + "INVITEM\r\nACCNT\tafter\r\n";
  std::string expected_kept = "!INVITEM\tNAME\r\n";
  for (int i = 0; i < 500; ++i) expected_kept += "INVITEM\trow " + std::to_string(i) + "\r\n";
  for (size_t block : {size_t{64}, size_t{1} << 20}) {
    EXPECT_EQ(kestle::testing::ErrorNumberOf([&] { Convert(input, block); }),
              err::kSubscriptOutOfRange);
    EXPECT_EQ(kestle::testing::ReadBytes(out_), expected_kept) << block;
  }
}

}  // namespace
}  // namespace kestle::iif
