//===- ScanAhead.cpp - Reading and scanning a source on a thread of its own -===//
#include "core/ScanAhead.h"

#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "core/SystemThreads.h"
#include "core/WordScanner.h"

namespace lexset {

namespace {

// Words copied out of the scanner's buffer, which the scanner reuses.
struct Batch {
  std::vector<char> bytes;
  std::vector<std::size_t> sizes;  // of the words, one after the other in `bytes`
  std::uint64_t read = 0;
};

// The batches between the two threads, and how the scan ended.
class BatchQueue {
 public:
  static constexpr std::size_t kBatches = 3;
  static constexpr std::size_t kBatchBytes = std::size_t{1} << 20;

  // The scanning thread's side. Null once the job's thread has stopped.
  Batch* TakeEmpty() {
    MutexHolder hold(mutex_);
    while (empty_.empty() && !stopped_) changed_.Wait(mutex_);
    if (stopped_) return nullptr;
    Batch* batch = empty_.back();
    empty_.pop_back();
    return batch;
  }
  void PutFull(Batch* batch) {
    {
      MutexHolder hold(mutex_);
      full_.push_back(batch);
    }
    changed_.WakeAll();
  }
  void End(bool scanned, std::exception_ptr error) {
    {
      MutexHolder hold(mutex_);
      ended_ = true;
      scanned_ = scanned;
      error_ = std::move(error);
    }
    changed_.WakeAll();
  }

  // The job's thread's side. Null once the scan has ended and every batch
  // has been taken.
  Batch* TakeFull() {
    MutexHolder hold(mutex_);
    while (full_.empty() && !ended_) changed_.Wait(mutex_);
    if (full_.empty()) return nullptr;
    Batch* batch = full_.front();
    full_.pop_front();
    return batch;
  }
  void PutEmpty(Batch* batch) {
    batch->bytes.clear();
    batch->sizes.clear();
    batch->read = 0;
    {
      MutexHolder hold(mutex_);
      empty_.push_back(batch);
    }
    changed_.WakeAll();
  }
  void Stop() {
    {
      MutexHolder hold(mutex_);
      stopped_ = true;
    }
    changed_.WakeAll();
  }
  // After the scanning thread has ended.
  bool scanned() const { return scanned_; }
  std::exception_ptr error() const { return error_; }

  explicit BatchQueue(Batch* batches) {
    for (std::size_t i = 0; i < kBatches; ++i) empty_.push_back(&batches[i]);
  }

 private:
  SystemMutex mutex_;
  SystemSignal changed_;
  std::vector<Batch*> empty_;
  std::deque<Batch*> full_;
  bool stopped_ = false;
  bool ended_ = false;
  bool scanned_ = false;
  std::exception_ptr error_;
};

// Thrown through the scanner to end a scan the job's thread has stopped.
struct ScanStopped {};

struct ScanTask {
  ByteSource& source;
  const ScanAhead::TakeRead& take_read;
  std::size_t block_size;
  BatchQueue& queue;

  static void Run(void* argument) {
    auto& task = *static_cast<ScanTask*>(argument);
    bool scanned = false;
    std::exception_ptr error;
    try {
      scanned = task.Scan();
    } catch (const ScanStopped&) {
    } catch (...) {
      error = std::current_exception();
    }
    task.queue.End(scanned, std::move(error));
  }

  bool Scan() {
    WordScanner scanner(block_size);
    Batch* batch = nullptr;
    auto hand_over = [&] {
      if (batch == nullptr) return;
      batch->read = take_read ? take_read() : 0;
      queue.PutFull(batch);
      batch = nullptr;
    };
    const bool scanned = scanner.ScanAll(source, [&](const std::string_view* words, std::size_t count) {
      if (batch == nullptr && (batch = queue.TakeEmpty()) == nullptr) throw ScanStopped();
      for (std::size_t i = 0; i < count; ++i) {
        batch->sizes.push_back(words[i].size());
        batch->bytes.insert(batch->bytes.end(), words[i].begin(), words[i].end());
      }
      if (batch->bytes.size() >= BatchQueue::kBatchBytes) hand_over();
    });
    if (batch == nullptr && take_read) batch = queue.TakeEmpty();  // for the last bytes read
    hand_over();
    return scanned;
  }
};

}  // namespace

bool ScanAhead::ScanAll(ByteSource& source, const TakeRead& take_read, const OnWords& on_words, const OnRead& on_read) {
  auto batches = std::make_unique<Batch[]>(BatchQueue::kBatches);
  for (std::size_t i = 0; i < BatchQueue::kBatches; ++i) batches[i].bytes.reserve(BatchQueue::kBatchBytes + 4096);
  BatchQueue queue(batches.get());
  ScanTask task{source, take_read, read_block_size_, queue};
  std::exception_ptr error;
  bool going = true;
  {
    SystemThread scanning(&ScanTask::Run, &task);
    try {
      std::string_view views[16];
      while (Batch* batch = queue.TakeFull()) {
        if (batch->read != 0 && on_read) on_read(batch->read);
        const char* word = batch->bytes.data();
        for (std::size_t i = 0; going && i < batch->sizes.size();) {
          std::size_t n = 0;
          for (; n < 16 && i < batch->sizes.size(); ++n, ++i) {
            views[n] = std::string_view(word, batch->sizes[i]);
            word += batch->sizes[i];
          }
          going = on_words(views, n);
        }
        queue.PutEmpty(batch);
        if (!going) break;
      }
    } catch (...) {
      error = std::current_exception();
    }
    // The scanning thread ends at once if it is waiting for a batch.
    queue.Stop();
  }
  if (error) std::rethrow_exception(error);
  if (!going) return true;
  if (queue.error()) std::rethrow_exception(queue.error());
  return queue.scanned();
}

}  // namespace lexset
