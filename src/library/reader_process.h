#pragma once
// The word reader's helper process, memwick-ocr: started with its model loaded, sent pictures
// over a socket, and ended at once when it is no longer wanted or misbehaves.
#include <sys/types.h>

#include <QImage>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ocr/protocol.h"

namespace mw::library {

// Why the helper gave no words for a picture.
enum class ReadFault {
  None,
  Picture,  // the picture's own: the engine could not read it, or it overran its time
  Helper,   // the helper's: it ended, was killed or answered nonsense
  Stopped,  // reading was stopped
};

struct ReadWord {
  std::string text;      // UTF-8
  float confidence = 0;  // 0 to 100
  QRect box;             // in the image read; may reach past it when the helper misbehaves
  int line = 0;          // words of one line of text share it
};

class ReaderProcess {
 public:
  // Starts `program` (empty: the one locate() finds) with the models for `languages` (lines)
  // and `pageLanguages` (whole pictures, see ocr::kPageModel) and waits until they are loaded;
  // with `lowPriority` it runs at idle priority. Null with `error` set when it cannot be started
  // or loaded, or when `cancel` is set meanwhile; every wait ends soon after `cancel` is set.
  static std::unique_ptr<ReaderProcess> start(const std::string& program, const std::string& languages,
                                              const std::string& pageLanguages, bool lowPriority,
                                              const std::atomic<bool>* cancel, std::string* error);
  ~ReaderProcess();  // ends the helper, whatever it is doing
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // The words the helper's `model` reads on `image` (8-bit grey or RGB888), in reading order.
  // The time it takes is taken from `leftMs`: its processor time while it is runnable, so that a helper at
  // idle priority on a busy machine may wait as long as it must, and the time that passes while
  // it is stopped or blocked. Nothing when it cannot read the picture, or when it ends, answers
  // nonsense or more than the protocol allows, runs out of time or is cancelled: it is then
  // ended. failure() says why, fault() whose fault that was.
  std::optional<std::vector<ReadWord>> read(const QImage& image, int pageSegmentation, int resolution,
                                            long long& leftMs, uint32_t model = ocr::kLineModel);
  const std::string& failure() const { return failure_; }
  ReadFault fault() const { return fault_; }

  // The helper beside the running program, else where it is installed; empty when there is none.
  static std::string locate();
  // Why there is no helper to start: `program` (empty: the one locate() finds) is not there or
  // cannot be run. Empty when it can be started.
  static std::string missing(const std::string& program);

 private:
  ReaderProcess(pid_t pid, int fd, const std::atomic<bool>* cancel) : pid_(pid), fd_(fd), cancel_(cancel) {}
  bool sendAll(const void* data, std::size_t size, long long& leftMs);
  bool receiveAll(void* data, std::size_t size, long long& leftMs);
  bool waitFor(short events, long long& leftMs);
  void startCharging();
  void charge(long long& leftMs);
  void end(const std::string& why, ReadFault fault = ReadFault::Helper);

  pid_t pid_;
  int fd_;
  const std::atomic<bool>* cancel_;
  std::string failure_;
  ReadFault fault_ = ReadFault::None;
  std::chrono::steady_clock::time_point chargedUntil_;
  long long cpuMs_ = 0;
};

}  // namespace mw::library
