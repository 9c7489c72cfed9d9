// Output side of the port model: a byte stream per port index, written by many tasks (replies,
// scheduled messages, relayed streams). One writer at a time holds the port, so a message is
// never interleaved with another.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ports/io_port_index.h"
#include "platform/rtos.h"

class OStream {
 public:
  virtual ~OStream() = default;
  // Timed write: waits at most `timeout` ticks (0 never waits, rtos::kForever as long as it
  // takes); returns the bytes taken.
  virtual int write(const void* data, int len, int timeout) = 0;
  // Waits until what was written has left for the device; false on timeout.
  virtual bool flush(int timeout) = 0;
};

class OutPort : public OStream {
 public:
  explicit OutPort(int index);
  int write(const void* data, int len, int timeout) override;
  bool flush(int timeout) override;

  int portIndex() const { return index_; }
  // Every byte written here is also written (never waiting) to `dup`; null stops it.
  void setDup(OutPort* dup) { dup_.store(dup); }
  OutPort* dup() const { return dup_.load(); }
  // Bytes the device refused (full transmit ring, absent device).
  std::uint32_t dropped() const { return dropped_.load(); }

 protected:
  virtual int devWrite(const void* data, int len, int timeout) = 0;
  virtual bool devFlush(int timeout) {
    (void)timeout;
    return true;
  }

 private:
  int writeOwn(const void* data, int len, int timeout);

  Mutex m_;
  int index_;
  std::atomic<OutPort*> dup_{nullptr};
  std::atomic<std::uint32_t> dropped_{0};
};

// Port index -1: swallows everything written to it.
class NullOutPort : public OutPort {
 public:
  NullOutPort() : OutPort(-1) {}

 protected:
  int devWrite(const void*, int len, int) override { return len; }
};

struct OutPorts {
  // Output side of every port by index; null where a port has none (yet).
  static OutPort* ports_[kIoPortCount];
  static NullOutPort null_;
  // The port's output stream, or the null port when it has none.
  static OStream& stream(int index);
};
