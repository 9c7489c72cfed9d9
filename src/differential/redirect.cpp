#include "differential/redirect.h"

#include <cstdio>
#include <cstring>

#include "differential/input_decoders.h"
#include "platform/rtos.h"

NullOutPort DecRedir::null_;
IOMap RedirMap::map_{};
Hook<void(const void* data, int len)> decBoardSendHook("differential", "decBoardSendHook");

namespace {
DecRedir redirs_[InDecs::TYPE_NUM][InPorts::DEC_NUM];
// The link tables and the report: written by the parser (mode changes) and the board's reader.
Mutex mapLock;
char dl_[RedirMap::kDlMax + 1];
int dlLen_ = 0;

bool validDec(int p) { return p >= 0 && p < InPorts::DEC_NUM; }

int heldLink(const IOMap& m, int p) {
  const int k = m.out[p + 1];
  return k >= 1 && k <= IOMap::kLinks && m.in[k] == p + 1 ? k : 0;
}

void sendMode(int linkPort, int mode) {
  char line[64];
  const int n = std::snprintf(line, sizeof line, "set,%s/imode,%s\n", iopGetName(linkPort), InPort::modeNames_[mode]);
  if (n <= 0 || n >= 63) return;
  decBoardSendHook(line, n);
}
}  // namespace

// ---- DecRedir ------------------------------------------------------------------------------

void DecRedir::setDest(OutPort* dest) { dest_.store(dest != nullptr ? dest : &null_); }

void DecRedir::send(const void* data, int len) {
  if (data == nullptr || len <= 0) return;
  dest_.load()->write(data, len, kWaitTicks);
}

DecRedir* decRedirsGet(int type, int decPort) {
  if (type < 0 || type >= InDecs::TYPE_NUM || !validDec(decPort)) return nullptr;
  return &redirs_[type][decPort];
}

// ---- RedirMap ------------------------------------------------------------------------------

int RedirMap::obtain(int p) {
  if (!validDec(p)) return IOP_NULL;
  Locker<Mutex> hold(mapLock);
  if (int k = heldLink(map_, p)) return kFirstLink - 1 + k;
  for (int k = 1; k <= IOMap::kLinks; ++k) {
    if (map_.in[k] != 0) continue;
    map_.in[k] = static_cast<std::uint8_t>(p + 1);
    map_.out[p + 1] = static_cast<std::uint8_t>(k);
    return kFirstLink - 1 + k;
  }
  return IOP_NULL;
}

int RedirMap::find(int p) {
  if (!validDec(p)) return IOP_NULL;
  Locker<Mutex> hold(mapLock);
  const int k = heldLink(map_, p);
  return k != 0 ? kFirstLink - 1 + k : IOP_NULL;
}

void RedirMap::release(int p) {
  if (!validDec(p)) return;
  Locker<Mutex> hold(mapLock);
  if (int k = heldLink(map_, p)) map_.in[k] = 0;
  map_.out[p + 1] = 0;
}

void RedirMap::updateDl(const char* text, int len) {
  if (text == nullptr || len < 0 || len > kDlMax) return;
  // The board names its ports by the letters of its own port set, dev/shm/a being '0'.
  const char boardLetter = InPorts::getDlChar(InPorts::io2dec_[kBoardPort]);
  Locker<Mutex> hold(mapLock);
  std::memcpy(dl_, text, static_cast<std::size_t>(len));
  dl_[len] = 0;
  dlLen_ = len;
  for (int i = 0; i + 1 < len; ++i) {  // a "{" at the very end has no letter to rewrite
    if (dl_[i] != '{') continue;
    const int offset = dl_[i + 1] - boardLetter;
    if (offset < 3 || offset > 7) continue;  // not one of the relay links 12..16
    const int k = offset - 2;
    const int holder = map_.in[k];
    if (holder == 0 || map_.out[holder] != k) continue;
    dl_[i + 1] = InPorts::getDlChar(holder - 1);
  }
}

int RedirMap::getDl(char* out, int size) {
  if (out == nullptr || size <= 0) return 0;
  Locker<Mutex> hold(mapLock);
  const int n = dlLen_ < size - 1 ? dlLen_ : size - 1;
  std::memcpy(out, dl_, static_cast<std::size_t>(n));
  out[n] = 0;
  return n;
}

// ---- mode changes --------------------------------------------------------------------------

void decRedirsModeChange(int portIndex, int mode) {
  if (portIndex < 0 || portIndex >= IOP_NULL || iopIsBoardLink(portIndex)) return;
  if (mode < 0 || mode >= InPort::MODE_NUM) return;
  const int p = InPorts::io2dec_[portIndex];
  if (!validDec(p)) return;
  const int type = InDecs::mode2type(mode);
  if (type != InDecs::kNone) {
    const int link = RedirMap::obtain(p);
    if (link == IOP_NULL) {
      std::fprintf(stderr, "$$DEC: %s: no free relay link, %s is not relayed\n", iopGetName(portIndex),
                   InPort::modeNames_[mode]);
      return;
    }
    sendMode(link, mode);
    redirs_[type][p].setDest(OutPorts::ports_[link]);
    return;
  }
  const int link = RedirMap::find(p);
  if (link == IOP_NULL) return;
  for (int t = 0; t < InDecs::TYPE_NUM; ++t) redirs_[t][p].setDest(nullptr);
  RedirMap::release(p);
  sendMode(link, InPort::M_CMD);
}
