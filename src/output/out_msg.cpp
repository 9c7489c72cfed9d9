#include "output/out_msg.h"

#include <limits>

#include "output/output_manager.h"

void OutMsg::reset(OmStreamInfo&) {}

namespace {
// Identifier that no part is taken to have before its first output on a stream.
constexpr long kNeverSent = std::numeric_limits<long>::min();
}  // namespace

MsgMult::MsgMult(int parts) : n_(parts > 0 ? parts : 0) {
  last_ = std::make_unique<long[]>(static_cast<std::size_t>(kOmStreams) * (n_ > 0 ? n_ : 1));
  for (int i = 0; i < kOmStreams * n_; ++i) last_[i] = kNeverSent;
}

void MsgMult::reset(OmStreamInfo& si) {
  if (si.stream < 0 || si.stream >= kOmStreams) return;
  for (int p = 0; p < n_; ++p) last_[si.stream * n_ + p] = kNeverSent;
}

bool MsgMult::outPart(OmStreamInfo& si, int part) {
  if (part < 0 || part >= n_) return false;
  si.writer.reset();
  if (!doOut(si, part)) return false;
  if (si.stream >= 0 && si.stream < kOmStreams) last_[si.stream * n_ + part] = getId(part);
  return si.write();
}

void MsgMult::out(OmStreamInfo& si) {
  if (si.stream < 0 || si.stream >= kOmStreams) return;
  bool onChange = si.params && (si.params->flags & kSchedOnChange);
  for (int p = 0; p < n_; ++p) {
    if (onChange && getId(p) == last_[si.stream * n_ + p]) continue;
    outPart(si, p);
  }
}
