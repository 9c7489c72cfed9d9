#include "platform/ports/out_port.h"

OutPort* OutPorts::ports_[kIoPortCount] = {};
NullOutPort OutPorts::null_;

OStream& OutPorts::stream(int index) {
  if (index < 0 || index >= kIoPortCount || !ports_[index]) return null_;
  return *ports_[index];
}

OutPort::OutPort(int index) : index_(index) {}

int OutPort::writeOwn(const void* data, int len, int timeout) {
  if (!data || len <= 0) return 0;
  // Another writer may hold the port while it waits for room; a caller that may not wait (the
  // per-epoch output) gets one tick for the lock, then drops and counts rather than stall. One
  // without a time limit waits for the lock as long as it takes.
  int n = 0;
  if (m_.lock(timeout == 0 ? 1 : timeout)) {
    n = devWrite(data, len, timeout);
    m_.unlock();
  }
  if (n < len) dropped_.fetch_add(static_cast<std::uint32_t>(len - (n > 0 ? n : 0)));
  return n;
}

int OutPort::write(const void* data, int len, int timeout) {
  int n = writeOwn(data, len, timeout);
  // The copy follows the original but never holds it up, and never chains further.
  if (OutPort* d = dup_.load(); d && d != this && n > 0) d->writeOwn(data, n, 0);
  return n;
}

bool OutPort::flush(int timeout) {
  Locker<Mutex> l(m_);
  return devFlush(timeout);
}
