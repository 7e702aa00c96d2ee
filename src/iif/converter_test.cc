// Tests of the streaming driver on real files: line ends cut at any block
// boundary, runs of plain lines stopped anywhere, lines longer than a block,
// the byte-order mark, rows whose removal ranges come out of order, progress
// and the failure path.
#include "iif/converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "iif/fields.h"
#include "iif/tab_scan.h"
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
      // Many short fields: a target far into a 64-byte chunk.
      "!EMP\tA\tB\tC\tD\tE\tF\tG\tH\tI\tJ\tK\tL\tEMPNO\tM",
      "EMP\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\t13\t14",
      "\t\t",
      "INVITEM\tPot\t\tZ\tY\t24.00",
      "TRNS\tINVOICE\t\"quoted\ttext\"",
      // Plain lines long enough that runs of them fill the 64-byte chunks
      // of the run scan, with list keywords inside their fields.
      "SPL\tINVOICE\t12/31/2025\tSales\tCUST\t-500.00\t\tINVITEM and EMP in a memo",
      "TRNS\tGENERAL JOURNAL\t01/02/2026\tChecking\tVEND\t1200.00\t\t!CUST",
      "ENDTRNS",
  };
  // Mostly CR LF, as real files end their lines, so plain runs form.
  const char* ends[] = {"\r\n", "\r\n", "\r\n", "\r\n", "\r\n", "\r", "\n"};
  std::string s;
  for (int i = 0; i < 300; ++i) {
    s += lines[rng() % lines.size()];
    s += ends[rng() % std::size(ends)];
  }
  s += "CUST\tLast\tE\tno terminator";
  return s;
}

// Blocks too small for the vector scans' 64-byte chunks convert line by
// line, so they check the scans of large blocks, each implementation.
TEST_F(ConverterTest, BlockBoundariesDoNotChangeTheOutput) {
  std::mt19937 rng(7);
  for (int round = 0; round < 5; ++round) {
    std::string input = MixedInput(rng);
    std::string expected = Convert(input, 1);
    for (ScanChoice scans :
         {ScanChoice::kWide, ScanChoice::kWideTableSelect, ScanChoice::kNarrow}) {
      ScanChoice before = UseScans(scans);
      for (size_t block : {2, 3, 4, 5, 7, 16, 61, 256, 1 << 20}) {
        EXPECT_EQ(Convert(input, block), expected)
            << "block " << block << " scans " << static_cast<int>(scans) << " round " << round;
      }
      UseScans(before);
    }
  }
}

// Lone line ends, list rows and headers, and lines only starting like them,
// at each offset across the first blocks that the run scan passes whole (768
// bytes into a run with AVX2, 64 with SSE2); and a line of one field too
// many before plain lines.
TEST_F(ConverterTest, PlainRunsStopWhereTheLinesDo) {
  std::string plain;
  while (plain.size() < 1500) plain += "SPL\t" + std::string(plain.size() % 90, 'x') + "\r\n";
  const std::regex ends("\t(EMPNO|SALESTAXCODE|b)\r\n|\r\n|\r|\n");  // with the fields dropped
  for (auto [lanes, from, to] : {std::array<size_t, 3>{32, 760, 1300}, {16, 60, 160}}) {
    ScanChoice before = UseScans(lanes == 32 ? ScanChoice::kWide : ScanChoice::kNarrow);
    for (size_t at = from; at < to; ++at) {
      for (std::string edit :
           {"\r", "\n", "\r\nEMP\ta\tb\r\n", "\r\n!INVITEM\tSALESTAXCODE\r\n", "\r\nSU"}) {
        std::string in = "!EMP\tA\tEMPNO\r\n" + std::string(plain).replace(at, edit.size(), edit);
        ASSERT_EQ(Convert(in, 4096), std::regex_replace(in, ends, "\r\n")) << lanes << at << edit;
      }
    }
    UseScans(before);
  }
  std::string in = "A\r\n" + std::string(kMaxFields, '\t') + "\r\n" + plain;
  EXPECT_EQ(kestle::testing::ErrorNumberOf([&] { Convert(in, 1 << 20); }), err::kOverflow);
  EXPECT_EQ(kestle::testing::ReadBytes(out_), "A\r\n");
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

// An Env whose output files record the size of each write.
class WriteSizeEnv : public EnvWrapper {
 public:
  WriteSizeEnv() : EnvWrapper(Env::Default()) {}
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    class Recording : public WritableFile {
     public:
      Recording(std::unique_ptr<WritableFile> file, std::vector<size_t>* sizes)
          : file_(std::move(file)), sizes_(sizes) {}
      void Append(const char* data, size_t n) override {
        sizes_->push_back(n);
        file_->Append(data, n);
      }
      void Truncate(uint64_t size) override { file_->Truncate(size); }
      void Close() override { file_->Close(); }

     private:
      std::unique_ptr<WritableFile> file_;
      std::vector<size_t>* sizes_;
    };
    return std::make_unique<Recording>(target()->NewWritableFile(path), &sizes);
  }
  std::vector<size_t> sizes;
};

// Every write but the last is one whole block, so each starts at a multiple
// of the block size: plain runs, rows, headers and long streamed lines alike.
TEST_F(ConverterTest, TheOutputGoesOutInWholeBlocks) {
  std::mt19937 rng(11);
  std::string input = MixedInput(rng) + "\r\nOTHER\t" + std::string(50000, 'x') + "\r\n";
  input += MixedInput(rng);
  kestle::testing::WriteBytes(in_, input);
  for (size_t block : {size_t{256}, size_t{4096}}) {
    WriteSizeEnv env;
    ConvertOptions options;
    options.block_size = block;
    ConvertFile(&env, in_, out_, options);
    ASSERT_GT(env.sizes.size(), 2u);
    for (size_t i = 0; i + 1 < env.sizes.size(); ++i) EXPECT_EQ(env.sizes[i], block) << i;
    EXPECT_LE(env.sizes.back(), block);
  }
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

// Whole files through the driver at several block sizes: a byte-order mark,
// customer rows after a vendor header moved the shared currency positions,
// and the field limit on lines streamed through or held whole.
TEST_F(ConverterTest, WholeFilesAtAnyBlockSize) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string tabs(kMaxFields - 1, '\t');  // the most a line may hold
  // Customer triple at 2..4, then a vendor header moving the shared pair.
  const std::string cust = "!CUST\tUSECURRENCY\tNAMECURRENCY\tPRICELEVEL\r\n";
  const std::string row = "CUST\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\t13\r\n";
  struct Case {
    std::string in;
    std::string out;
    int error = 0;
  };
  const Case cases[] = {
      {bom + "!EMP\tA\tEMPNO\r\nEMP\ta\te\r\n", bom + "!EMP\tA\r\nEMP\ta\r\n"},
      {bom + "EMP\ta", bom + "EMP\ta\r\n"},
      {bom, bom + "\r\n"},
      {bom + "\r\n", bom + "\r\n"},
      {"\xEF\xBB", "\xEF\xBB\r\n"},
      // Only the file's first three bytes are a mark.
      {bom + bom + "!EMP\tEMPNO", bom + bom + "!EMP\tEMPNO\r\n"},
      {"\r\n" + bom + "!EMP\tEMPNO\r\n", "\r\n" + bom + "!EMP\tEMPNO\r\n"},
      // Fields 5 and 7 (vendor) and 4 (price level) go, once each.
      {cust + "!VEND\tA\tB\tC\tUSECURRENCY\tD\tNAMECURRENCY\r\n" + row,
       "!CUST\r\n!VEND\tA\tB\tC\tD\r\nCUST\t2\t3\t6\t8\t9\t10\t11\t12\t13\r\n"},
      // The vendor pair at 4 and 9: on and after the price level.
      {cust + "!VEND\tA\tB\tUSECURRENCY\tC\tD\tE\tF\tNAMECURRENCY\r\n" + row,
       "!CUST\r\n!VEND\tA\tB\tC\tD\tE\tF\r\nCUST\t2\t3\t5\t6\t7\t8\t10\t11\t12\t13\r\n"},
      // ... where a row needs the 8 fields before position 9.
      {cust + "!VEND\tA\tB\tUSECURRENCY\tC\tD\tE\tF\tNAMECURRENCY\r\nCUST\t2\t3\t4\t5\t6\t7\r\n",
       "!CUST\r\n!VEND\tA\tB\tC\tD\tE\tF\r\n", err::kSubscriptOutOfRange},
      // 32767 fields pass, one more fails, whether the line is a row or
      // another list's line streamed through; earlier lines stay.
      {"A" + tabs + "\r\nB\r\n", "A" + tabs + "\r\nB\r\n"},
      {"A\r\nLONGER" + tabs + "\t\r\nB\r\n", "A\r\n", err::kOverflow},
      {"A\r\nLONGER" + tabs + "\tx", "A\r\n", err::kOverflow},
      {"!EMP\tX\tEMPNO\r\nEMP" + tabs + "\r\n", "!EMP\tX\r\nEMP" + tabs.substr(1) + "\r\n"},
      {"!EMP\tX\tEMPNO\r\nEMP" + tabs + "\t\r\n", "!EMP\tX\r\n", err::kOverflow},
  };
  for (size_t block : {size_t{1}, size_t{3}, size_t{100}, size_t{1} << 20}) {
    for (const Case& c : cases) {
      int error = kestle::testing::ErrorNumberOf([&] { Convert(c.in, block); });
      EXPECT_EQ(error, c.error) << "block " << block << ": " << c.in.substr(0, 60);
      EXPECT_EQ(kestle::testing::ReadBytes(out_), c.out)
          << "block " << block << ": " << c.in.substr(0, 60);
    }
  }
}

}  // namespace
}  // namespace kestle::iif
