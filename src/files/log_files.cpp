#include "files/log_files.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "files/file_store.h"
#include "platform/ports/out_port.h"
#include "platform/rtos.h"
#include "platform/rtos_time.h"

Hook<void(bool on)> wpcLedHook("files", "wpcLedHook");
std::atomic<bool> cfFileDynamic[kLogFiles];
std::atomic<bool> dbgOpenCloseRequest{false};

namespace {
// Blink length of the recording LED, in checks.
constexpr int kBlinkChecks = 2;

struct LogFile {
  int handle = -1;
  bool autoStarted = false;
  char name[kFsMaxName] = {};
};

Mutex g_m;  // the files and their handles
LogFile g_files[kLogFiles];
std::atomic<int> g_defDynamic{0};
std::atomic<bool> g_rotate{false};
std::atomic<bool> g_lights{true};
std::atomic<std::uint32_t> g_bits{0};
std::atomic<int> g_blink{0};

void closeLocked(int i) {
  if (g_files[i].handle >= 0) fsClose(g_files[i].handle);
  g_files[i] = LogFile();
  cfFileDynamic[i] = false;
}

void refreshLed() {
  bool rec = (g_bits.load() & 1u) != 0;
  wpcLedHook(g_lights.load() && rec);
}

// From the receiver's clock, which GNSS time steers (on the host a clock of the program's own,
// not the machine's).
void autoName(char* out, std::size_t n, int index) {
  SysTime t;
  rtosTimeGet(t);
  const std::time_t now = static_cast<std::time_t>(t.sec);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::snprintf(out, n, "log%02d%02d%02d_%02d%02d%02d%c", tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, 'a' + index);
}

// Output port of one log file: what is written goes into the open file, and is dropped while
// the file is closed.
class LogFileOutPort : public OutPort {
 public:
  explicit LogFileOutPort(int index) : OutPort(index), file_(index) {}

 protected:
  int devWrite(const void* data, int len, int) override {
    Locker<Mutex> l(g_m);
    if (g_files[file_].handle < 0) return 0;
    int n = fsWrite(g_files[file_].handle, data, len);
    return n < 0 ? 0 : n;
  }

 private:
  int file_;
};
}  // namespace

bool cfStartLogging(const char* name, bool dynamic, bool autoStarted, int index) {
  if (index < 0 || index >= kLogFiles) return false;
  char autoBuf[kFsMaxName];
  if (!name || !name[0]) {
    autoName(autoBuf, sizeof autoBuf, index);
    name = autoBuf;
  }
  if (!pcfCheckName(name)) return false;
  Locker<Mutex> l(g_m);
  closeLocked(index);
  int h = fsOpen(name, FS_APPEND);
  if (h < 0) return false;
  LogFile& f = g_files[index];
  f.handle = h;
  cfFileDynamic[index] = dynamic;
  f.autoStarted = autoStarted;
  std::snprintf(f.name, sizeof f.name, "%s", name);
  g_bits.fetch_or(1u);
  refreshLed();
  return true;
}

void cfClose(int index, int) {
  Locker<Mutex> l(g_m);
  if (index >= kLogFiles) return;
  for (int i = 0; i < kLogFiles; ++i) {
    if (index < 0 || i == index) closeLocked(i);
  }
  bool any = false;
  for (const auto& f : g_files) any = any || f.handle >= 0;
  if (!any) g_bits.fetch_and(~1u);
  refreshLed();
}

bool cfExists() {
  Locker<Mutex> l(g_m);
  for (const auto& f : g_files) {
    if (f.handle >= 0) return true;
  }
  return false;
}

void cfChangeDynamic() {
  Locker<Mutex> l(g_m);
  for (int i = 0; i < kLogFiles; ++i) {
    if (g_files[i].handle >= 0) cfFileDynamic[i] = !cfFileDynamic[i];
  }
}

const char* cfGetDynSpec() { return "static,dynamic"; }
int cfGetDefDynamic() { return g_defDynamic.load(); }
void cfSetDefDynamic(int mode) { g_defDynamic.store(mode == 0 ? 0 : 1); }

bool lrGetMode() { return g_rotate.load(); }
void lrSetMode(bool on) { g_rotate.store(on); }
bool lrRotate(std::uint32_t, bool) { return false; }

// The files are written through unbuffered descriptors, so nothing is held back for the second.
void pcfSecond() {}

void pcfEnableLights(bool on) {
  g_lights.store(on);
  refreshLed();
}

void wpcClearBits(std::uint32_t mask) {
  g_bits.fetch_and(~mask);
  refreshLed();
}

// Asked for while the status LEDs are off (a button held shows what its release would do), so it
// shows whatever the switch says.
void wpcLedsByInvertStatus() {
  g_blink.store(kBlinkChecks);
  wpcLedHook((g_bits.load() & 1u) == 0);
}

void wpcCheckBlink() {
  int b = g_blink.load();
  if (b <= 0) return;
  // With the status LEDs off the LED belongs to whoever switched them off.
  if (g_blink.fetch_sub(1) == 1 && g_lights.load()) refreshLed();
}

void dbgOpenCloseFile() { dbgOpenCloseRequest.store(true); }

void logPortsInitOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  for (int i = 0; i < kLogFiles; ++i) {
    if (!OutPorts::ports_[IOP_FILE_A + i]) OutPorts::ports_[IOP_FILE_A + i] = new LogFileOutPort(IOP_FILE_A + i);
  }
}
