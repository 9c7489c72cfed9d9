// Answers from the power controller: the first bytes choose the answer length, the tries and
// the sizes of the pieces the line delivers; the rest is what arrives, piece by piece. An
// exchange never keeps more than the longest answer, a success copies exactly the asked length
// with the answer mark and the frame's sequence id, and a failure reports what it held (a length
// no answer can have is refused untouched).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/mcu_link.h"

namespace {

class FuzzIo : public McuIo {
 public:
  FuzzIo(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
  int write(const std::uint8_t*, int n, int) override { return n; }
  int read(std::uint8_t* buf, int n, int) override {
    if (at_ >= n_ || n <= 0) return 0;
    int piece = d_[at_++] % (kMcuAnswerMax + 8);
    if (piece > n) piece = n;
    int k = 0;
    for (; k < piece && at_ < n_; ++k) buf[k] = d_[at_++];
    return k;
  }
  bool setRunState(unsigned) override { return true; }
  void sleep(int) override {}

 private:
  const std::uint8_t* d_;
  std::size_t n_;
  std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int want = data[0] % (kMcuAnswerMax + 4);
  const int tries = data[1] % 16;
  FuzzIo io(data + 2, size - 2);
  MCU_c8051f330 mcu(io);
  std::uint8_t answer[kMcuAnswerMax + 8];
  for (int round = 0; round < 3; ++round) {
    int len = want;
    const bool ok = mcu.cmdAnsw(10, 1, 0, answer, len, tries);
    if (ok && (len != want || (answer[0] & 0x80) == 0 || (answer[0] & 0x0F) != mcu.sequenceId() ||
               (answer[0] & kMcuNotReady) != 0))
      std::abort();
    // A length no answer can have is refused untouched; otherwise the count held, never more
    // than asked.
    const bool refused = want < 1 || want > kMcuAnswerMax;
    if (!ok && (refused ? len != want : (len < 0 || len > want))) std::abort();
  }
  // The decoder alone: pieces of the input, checked against every id.
  c8051f330Decoder dec;
  for (std::size_t at = 0; at < size; at += 7) {
    dec.process(data + at, static_cast<int>(size - at < 7 ? size - at : 7));
    if (dec.count() > kMcuAnswerMax) std::abort();
    for (int id = 0; id < 16; ++id) dec.check(id, data[at] % (kMcuAnswerMax + 2));
  }
  return 0;
}
