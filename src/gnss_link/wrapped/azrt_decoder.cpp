#include "gnss_link/wrapped/azrt_decoder.h"

#include "differential/decoder_task.h"
#include "gnss_link/wrapped/wrapped_commands.h"
#include "platform/ports/out_port.h"

AzrtDecoder AzrtDecoders::decs_[InPorts::DEC_NUM];

namespace {
// The checksum of ">>" is two hexadecimal characters at the end of the body.
constexpr int kChecksumLen = 2;

bool isPort(int t) { return t >= 0 && t < kIoPortCount; }
bool hasInput(int t) { return isPort(t) && InPorts::io2dec_[t] >= 0; }
bool hasOutput(int t) { return isPort(t) && OutPorts::ports_[t] != nullptr; }

InDecs::Type decoderType(int action) {
  switch (action) {
    case AzrtParams::kOwnDecoder: return InDecs::kZrt;
    case AzrtParams::kRtcmDecoder: return InDecs::kRtcm;
    case AzrtParams::kCmrDecoder: return InDecs::kCmr;
    case AzrtParams::kRtcm3Decoder: return InDecs::kRtcm3;
    default: return InDecs::kNone;
  }
}
}  // namespace

AzrtDecoder::AzrtDecoder() : foreign_(this) {
  for (auto& w : params_) w.store(AzrtParams::resetValue().pack());
}

void AzrtDecoder::init(int port, ZrtMsgFilter& filter) {
  port_ = port;
  filter.setHandler(">>", this, sh_WRAPPED);
  filter.setUnknownClient(&foreign_);
}

void AzrtDecoder::setParam(int index, const AzrtParams& p) {
  if (index >= 0 && index < AzrtParamSet::kCount) params_[index].store(p.pack());
}

AzrtParamSet AzrtDecoder::params() const {
  AzrtParamSet s;
  for (int i = 0; i < AzrtParamSet::kCount; ++i) s.p[i] = AzrtParams::unpack(params_[i].load());
  return s;
}

bool AzrtDecoder::sh_WRAPPED(ZrtMsgClient* client, const ZRFMessage& msg) {
  return static_cast<AzrtDecoder*>(client)->wrapped(msg);
}

bool AzrtDecoder::wrapped(const ZRFMessage& msg) {
  if (msg.len <= kChecksumLen) return true;
  const char* body = msg.body();
  const AzrtParamSet set = params();
  const AzrtParams* p = set.find(static_cast<unsigned char>(body[0]), AzrtParams::kWrapped);
  if (p == nullptr) return true;
  const int skip = p->strip() ? 1 : 0;
  route(*p, body + skip, msg.len - kChecksumLen - skip);
  return true;
}

bool AzrtDecoder::foreign(const char* data, int len, int terminator) {
  if (len > 0) {
    const AzrtParamSet set = params();
    if (const AzrtParams* p = set.find(static_cast<unsigned char>(data[0]), AzrtParams::kForeign)) {
      const int skip = p->strip() ? 1 : 0;
      route(*p, data + skip, len - skip);
      return true;
    }
  }
  ZrtUnknownMsgClient* f = further_.load();
  return f != nullptr && f->foreign(data, len, terminator);
}

bool AzrtDecoder::route(const AzrtParams& p, const char* data, int len) {
  const int target = p.port == AzrtParams::kSelf ? port_ : p.port;
  const int action = p.action();
  switch (action) {
    case AzrtParams::kCommand:
    case AzrtParams::kForeignCommand:
      // Only a port that takes input has a command road to answer on.
      if (!hasInput(target)) return false;
      return command(data, len, target);
    case AzrtParams::kOutput:
    case AzrtParams::kForeignOutput:
      if (!hasOutput(target)) return false;
      // The port's own task must not wait for a slow reader of another port.
      if (len > 0) OutPorts::stream(target).write(data, len, 0);
      return true;
    default: break;
  }
  const InDecs::Type type = decoderType(action);
  if (type == InDecs::kNone || !isPort(target)) return false;
  const int dec = InPorts::io2dec_[target];
  const InPort* in = InPorts::ports_[target];
  // The own-format decoder of the same port would read its own output again.
  if (dec < 0 || in == nullptr || (type == InDecs::kZrt && target == port_)) return false;
  if (in->mode() != InDecs::type2mode_[type] || len <= 0) return false;
  decProcess(type, static_cast<InPorts::DecPortIndex>(dec), data, len);
  return true;
}

bool AzrtDecoder::command(const char* text, int len, int port) {
  while (len > 0 && (text[len - 1] == '\r' || text[len - 1] == '\n')) --len;
  if (len <= 0 || len > kMaxCommand) return false;
  return WrappedCommands::post(text, len, port);
}

void AzrtDecoder::Foreign::unknownReset() {
  if (ZrtUnknownMsgClient* f = owner_->further_.load()) f->unknownReset();
}

bool AzrtDecoder::Foreign::foreign(const char* data, int len, int terminator) {
  return owner_->foreign(data, len, terminator);
}
