#include "differential/decoder_task.h"

#include <atomic>
#include <thread>

#include "differential/decoder_status.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/received_stores.h"
#include "settings/port_settings.h"

// Never destroyed: DECT waits on it until the process ends.
MailBoxImp& DiffHandler::mBox_ = *new MailBoxImp;
DiffHandler DiffHandler::h_[InDecs::TYPE_NUM][InPorts::DEC_NUM];

namespace {

struct Item {
  DiffHandler* h;
  const void* data;  // null: reset
  int len;
};

// DECT and decProcess (in the native reader's task) both run decoders and move the base-port
// marker: one holder at a time. The holder may enter again (a native decoder in DECT routes
// wrapped data to another decoder through decProcess).
class ReentrantLock {
 public:
  void lock() {
    const std::thread::id me = std::this_thread::get_id();
    if (owner_.load() == me) {
      ++depth_;
      return;
    }
    m_.lock();
    owner_.store(me);
    depth_ = 1;
  }
  void unlock() {
    if (--depth_ > 0) return;
    owner_.store(std::thread::id());
    m_.unlock();
  }

 private:
  Mutex m_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;
};

ReentrantLock workLock;
int curPort = -1;
std::atomic<bool> running{false};

void setMarker(int port) {
  curPort = port;
  if (port >= 0)
    cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(port));
  else
    cpdBufsClearBasePort();
}

// The work of one item. A nested call leaves the marker as it found it.
void work(int type, int port, DecRedir* redir, const void* data, int len) {
  Locker<ReentrantLock> hold(workLock);
  const int prev = curPort;
  setMarker(port);
  InDec* dec = InDecs::get(type, port);
  if (data != nullptr) {
    if (redir != nullptr) redir->send(data, len);
    if (len > 0 && dec != nullptr) dec->process(data, len);
  } else {
    if (dec != nullptr) dec->reset();
    RpMsg.invalidate();
    TxtMsg.reset();
  }
  setMarker(prev);
}

void* dectLoop(void*) {
  for (;;) {
    auto* it = static_cast<Item*>(DiffHandler::mBox_.get_());
    if (it == nullptr) continue;
    work(it->h->type, it->h->port, it->h->redir, it->data, it->len);
    DiffHandler::mBox_.release();
  }
  return nullptr;
}

void post(DiffHandler* h, const void* data, int len) {
  Item it{h, data, len};
  // Before DECT runs (start-up) the caller does the work itself.
  if (!running.load()) {
    work(h->type, h->port, h->redir, data, len);
    return;
  }
  DiffHandler::mBox_.put_(&it);
}

}  // namespace

int DiffHandler::process(const std::uint8_t* buf, int off, int len, bool) {
  if (len <= 0) return 0;
  post(this, buf + off, len);
  return len;
}

void DiffHandler::reset(bool) { post(this, nullptr, 0); }

bool decProcInit(int priority) {
  static Task* task = nullptr;
  if (task == nullptr) {
    static Task dect(priority, dectLoop, nullptr, "DECT", 3072);
    task = &dect;
    running.store(true);
    dect.resume();
  }
  return true;
}

bool decAttachPort(int portIndex) {
  if (portIndex < 0 || portIndex >= IOP_NULL) return false;
  if (iopIsBoardLink(portIndex)) return false;
  const int p = InPorts::io2dec_[portIndex];
  if (p < 0 || InPorts::ports_[portIndex] == nullptr) return false;
  for (int t = 0; t < InDecs::TYPE_NUM; ++t) {
    DiffHandler& h = DiffHandler::h_[t][p];
    h.port = p;
    h.type = t;
    h.redir = decRedirsGet(t, p);
    InPort::setHandler(portIndex, InDecs::type2mode_[t], &h);
  }
  return true;
}

void decInitOnce() {
  InDecs::init();
  for (int p = 0; p < InPorts::DEC_NUM; ++p) {
    const int io = InPorts::dec2io_[p];
    decAttachPort(io);
    if (iopIsBoardLink(io)) continue;
    const int mode = InPorts::ports_[io] != nullptr ? static_cast<int>(InPorts::ports_[io]->mode()) : portSettingsMode(io);
    if (InDecs::mode2type(mode) == InDecs::kNone) continue;
    DecSt.setDecMode(p, decStatusMode(mode));
    decRedirsModeChange(io, mode);
  }
}

int decStatusMode(int inputMode) {
  const int t = InDecs::mode2type(inputMode);
  return t == InDecs::kNone ? static_cast<int>(DecoderStatus::kNone) : static_cast<int>(t);
}

void decProcess(InDecs::Type type, InPorts::DecPortIndex port, const void* data, int len) {
  if (type < 0 || type >= InDecs::TYPE_NUM || port < 0 || port >= InPorts::DEC_NUM) return;
  if (data != nullptr && len <= 0) return;
  work(type, port, decRedirsGet(type, port), data, len);
}

DecWorkHold::DecWorkHold() { workLock.lock(); }
DecWorkHold::~DecWorkHold() { workLock.unlock(); }
