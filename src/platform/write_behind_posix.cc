// Write-behind with a standard thread: blocks travel from the caller to the
// writer thread through a queue and come back through a free list.
#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/write_behind.h"

namespace kestle {
namespace {

// Blocks in flight: one being filled, one being written, one waiting, so the
// caller rarely waits for the writer.
constexpr int kBlocks = 3;

class WriteBehindFile : public WritableFile {
 public:
  WriteBehindFile(std::unique_ptr<WritableFile> file, size_t block_size)
      : file_(std::move(file)), block_size_(block_size) {
    for (int i = 0; i < kBlocks; ++i) free_.emplace_back(new char[block_size_]);
    writer_ = std::thread([this] { WriteBlocks(); });
  }

  ~WriteBehindFile() override { Stop(); }

  void Append(const char* data, size_t n) override {
    ThrowError();
    while (n > 0) {
      if (!fill_) fill_ = TakeFreeBlock();
      size_t k = std::min(n, block_size_ - filled_);
      std::memcpy(fill_.get() + filled_, data, k);
      filled_ += k;
      data += k;
      n -= k;
      if (filled_ == block_size_) Hand();
    }
  }

  void Truncate(uint64_t size) override {
    Drain();
    file_->Truncate(size);
  }

  void Close() override {
    Drain();
    Stop();
    ThrowError();
    file_->Close();
  }

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    size_t size;
  };

  // Gives the block being filled to the writer.
  void Hand() {
    if (filled_ == 0) return;
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back({std::move(fill_), filled_});
    filled_ = 0;
    changed_.notify_all();
  }

  std::unique_ptr<char[]> TakeFreeBlock() {
    std::unique_lock<std::mutex> lock(mu_);
    changed_.wait(lock, [this] { return !free_.empty(); });
    std::unique_ptr<char[]> block = std::move(free_.back());
    free_.pop_back();
    return block;
  }

  // Waits until every byte appended so far has been handed to `file_` (or
  // dropped after a write error).
  void Drain() {
    Hand();
    std::unique_lock<std::mutex> lock(mu_);
    changed_.wait(lock, [this] { return queue_.empty() && !writing_; });
  }

  // Throws the writer's error once.
  void ThrowError() {
    std::exception_ptr error;
    {
      std::lock_guard<std::mutex> lock(mu_);
      std::swap(error, error_);
    }
    if (error) std::rethrow_exception(error);
  }

  void Stop() {
    if (!writer_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
      changed_.notify_all();
    }
    writer_.join();
  }

  // The writer thread: appends queued blocks in order until told to stop
  // with the queue empty. After an error, later blocks are dropped: the
  // file must not go on past a hole.
  void WriteBlocks() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      changed_.wait(lock, [this] { return !queue_.empty() || stop_; });
      if (queue_.empty()) return;
      Block block = std::move(queue_.front());
      queue_.pop_front();
      writing_ = true;
      bool failed = failed_;
      lock.unlock();
      std::exception_ptr error;
      if (!failed) {
        try {
          file_->Append(block.data.get(), block.size);
        } catch (...) {
          error = std::current_exception();
        }
      }
      lock.lock();
      if (error) {
        failed_ = true;
        error_ = error;
      }
      writing_ = false;
      free_.push_back(std::move(block.data));
      changed_.notify_all();
    }
  }

  std::unique_ptr<WritableFile> file_;
  const size_t block_size_;
  std::unique_ptr<char[]> fill_;  // the caller's block, while it has one
  size_t filled_ = 0;

  std::mutex mu_;
  std::condition_variable changed_;  // any change of the fields below
  std::vector<std::unique_ptr<char[]>> free_;
  std::deque<Block> queue_;
  bool writing_ = false;  // the writer holds a block outside the queue
  bool stop_ = false;
  bool failed_ = false;       // a write failed; later blocks are dropped
  std::exception_ptr error_;  // the failure, until thrown
  std::thread writer_;
};

}  // namespace

std::unique_ptr<WritableFile> NewWriteBehindFile(std::unique_ptr<WritableFile> file,
                                                 size_t block_size) {
  assert(block_size > 0);
  return std::make_unique<WriteBehindFile>(std::move(file), block_size);
}

}  // namespace kestle
