// The write-behind file: bytes arrive in order whatever the block size,
// Truncate cuts at the byte asked for, and a write error of the writer thread
// reaches the caller once, without the file going on past it.
#include "platform/write_behind.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/scratch_test_util.h"

namespace kestle {
namespace {

// A file in memory that fails with "disk full" once it holds `room` bytes.
class SmallFile : public WritableFile {
 public:
  SmallFile(std::string* bytes, size_t room) : bytes_(bytes), room_(room) {}
  void Append(const char* data, size_t n) override {
    size_t fits = std::min(n, room_ - bytes_->size());
    bytes_->append(data, fits);
    if (fits < n) throw RuntimeError(err::kDiskFull);
  }
  void Truncate(uint64_t size) override { bytes_->resize(std::min<size_t>(size, bytes_->size())); }
  void Close() override {}

 private:
  std::string* bytes_;
  size_t room_;
};

// Appends pieces of every length from 1 to `longest`, each of one letter.
std::string AppendPieces(WritableFile& file, size_t longest) {
  std::string sent;
  for (size_t n = 1; n <= longest; ++n) {
    std::string piece(n, static_cast<char>('a' + n % 26));
    file.Append(piece.data(), piece.size());
    sent += piece;
  }
  return sent;
}

TEST(WriteBehindTest, BytesArriveInOrderAndTruncateCutsWhereAsked) {
  testing::ScratchDir dir;
  for (size_t block : {size_t{1}, size_t{7}, size_t{4096}}) {
    const std::string path = dir.File("out" + std::to_string(block));
    auto file = NewWriteBehindFile(Env::Default()->NewWritableFile(path), block);
    std::string sent = AppendPieces(*file, 300);
    file->Truncate(sent.size() - 1000);
    sent.resize(sent.size() - 1000);
    sent += AppendPieces(*file, 50);
    file->Close();
    EXPECT_EQ(testing::ReadBytes(path), sent) << "block " << block;
  }
}

TEST(WriteBehindTest, AWriteErrorIsThrownOnceAndNothingFollowsIt) {
  for (size_t block : {size_t{1}, size_t{16}, size_t{100000}}) {
    std::string bytes;
    auto file = NewWriteBehindFile(std::make_unique<SmallFile>(&bytes, 1000), block);
    int errors = 0;
    for (int i = 0; i < 200; ++i) {
      errors += testing::ErrorNumberOf([&] { file->Append("0123456789", 10); }) == err::kDiskFull;
    }
    errors += testing::ErrorNumberOf([&] { file->Close(); }) == err::kDiskFull;
    EXPECT_EQ(errors, 1) << "block " << block;
    EXPECT_EQ(bytes.size(), 1000u);
    // Cutting back after the failure never lengthens the file.
    file->Truncate(1500);
    EXPECT_EQ(bytes.size(), 1000u);
  }
}

TEST(WriteBehindTest, AFullDeviceFailsWithDiskFull) {
  auto file = NewWriteBehindFile(Env::Default()->NewWritableFile("/dev/full"), 4096);
  std::string block(1 << 20, 'x');
  int error = testing::ErrorNumberOf([&] {
    file->Append(block.data(), block.size());
    file->Close();
  });
  EXPECT_EQ(error, err::kDiskFull);
}

}  // namespace
}  // namespace kestle
