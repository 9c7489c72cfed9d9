#include "gnss_link/peripherals/usb_storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "files/log_files.h"
#include "platform/host_path.h"
#include "platform/leds.h"
#include "platform/rtos.h"
#include "settings/debug_selectors.h"

UsbStorage usbStorage;

namespace {

// Opens a file the scripts write for reading, without waiting: a FIFO or a device at that place
// would otherwise block the task. -1 when it is missing or not a regular file.
int openRegular(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

// The finished marker's value: its first line when that is 1 to 3 characters holding a decimal
// number in the markers' range, else finished in general.
int finishedState(const char* path) {
  char buf[8] = {};
  int n = 0;
  const int fd = openRegular(path);
  if (fd >= 0) {
    const ssize_t r = read(fd, buf, sizeof buf);
    n = r > 0 ? static_cast<int>(r) : 0;
    close(fd);
  }
  int len = 0;
  while (len < n && buf[len] != '\n') ++len;
  if (len < 1 || len > 3) return kEdiskFinished;
  int i = buf[0] == '-' || buf[0] == '+' ? 1 : 0;
  if (i == len) return kEdiskFinished;
  int v = 0;
  for (; i < len; ++i) {
    if (buf[i] < '0' || buf[i] > '9') return kEdiskFinished;
    v = v * 10 + (buf[i] - '0');
  }
  if (buf[0] == '-') v = -v;
  return v >= kEdiskMarkerMin && v <= kEdiskMarkerMax ? v : kEdiskFinished;
}

bool exists(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0;
}

// A file, backwards, a block at a time: the last update sits at the end of a file that grows
// through the whole copy, so only its tail is read.
class FileBack {
 public:
  FileBack(int fd, off_t size) : fd_(fd), pos_(size) {}
  int operator()() {
    if (have_ == 0) {
      if (pos_ <= 0) return -1;
      const off_t k = pos_ < static_cast<off_t>(sizeof buf_) ? pos_ : static_cast<off_t>(sizeof buf_);
      pos_ -= k;
      if (pread(fd_, buf_, static_cast<std::size_t>(k), pos_) != static_cast<ssize_t>(k)) {
        pos_ = 0;  // what cannot be read counts as the start of the file
        return -1;
      }
      have_ = static_cast<int>(k);
    }
    return static_cast<unsigned char>(buf_[--have_]);
  }

 private:
  int fd_;
  off_t pos_;
  char buf_[4096];
  int have_ = 0;
};

// A decimal number at the start of s[0..n) after white space, read up to the first character that
// is not a digit, as the C library scans an integer; false when no digit comes. At most 17
// characters are given, so the value cannot overflow.
bool scanDecimal(const char* s, int n, std::int64_t& v) {
  int i = 0;
  while (i < n && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  const bool neg = i < n && s[i] == '-';
  if (i < n && (s[i] == '-' || s[i] == '+')) ++i;
  if (i >= n || s[i] < '0' || s[i] > '9') return false;
  v = 0;
  for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
  if (neg) v = -v;
  return true;
}

// Byte count field: the 15 characters of the count and the blank after it (the number ends at
// the blank), and the first character of the percentage.
constexpr int kBytesChars = 17;
constexpr int kCommaChars = 16;
constexpr int kMaxCommas = 3;
constexpr int kPercentAt = 16;
constexpr int kPercentChars = 3;

void* usbDiskTask(void*) {
  Task::sleep(15);
  usbStorage.percent.store(0);
  usbStorage.bytes.store(0);
  usbStorage.EcardStatus.store(kEdiskNone);
  int ticks = kUsbDiskIdleTicks;
  for (;;) {
    Task::sleep(ticks);
    ticks = usbDiskPass();
  }
  return nullptr;
}

}  // namespace

bool parseProgressWindow(const char (&w)[kProgressWindow], int& percent, std::int64_t& bytes) {
  std::int64_t pct = 0;
  if (!scanDecimal(w + kPercentAt, kPercentChars, pct)) return false;
  // The count with its thousands commas taken out; the count reads from its first character, so
  // that a count filling all 15 keeps its leading digit.
  char digits[kBytesChars];
  int k = 0, commas = 0;
  for (int i = 0; i < kBytesChars; ++i) {
    if (w[i] == ',' && i < kCommaChars && commas < kMaxCommas) {
      ++commas;
      continue;
    }
    digits[k++] = w[i];
  }
  std::int64_t b = 0;
  bytes = scanDecimal(digits, k, b) ? b : -1;
  percent = static_cast<int>(pct);
  return true;
}

void readFileCopyProgr() {
  const int fd = openRegular(HostPath(kEdiskProgressFile));
  if (fd < 0) return;
  struct stat st {};
  char w[kProgressWindow];
  int pct = 0;
  std::int64_t b = 0;
  bool ok = false;
  if (fstat(fd, &st) == 0) {
    FileBack back(fd, st.st_size);
    ok = windowFromEnd(back, w) && parseProgressWindow(w, pct, b);
  }
  close(fd);
  if (!ok) return;
  usbStorage.bytes.store(b);
  usbStorage.percent.store(pct);
}

int ediskGetStat() { return usbStorage.EcardStatus.load(); }

int ediskGetErr() {
  const int s = usbStorage.EcardStatus.load();
  return s < 0 ? -s : 0;
}

void ediskGetProgr(int& percent, std::int64_t& kilobytes) {
  percent = usbStorage.percent.load();
  kilobytes = usbStorage.bytes.load() >> 10;
}

int ediskGetState_f() {
  const HostPath finished(kEdiskFinishedFile);
  if (exists(finished)) return finishedState(finished);
  return exists(HostPath(kEdiskMountedFile)) ? kEdiskCopying : kEdiskNone;
}

void edisk_SET_STAT(int state) {
  const int old = usbStorage.EcardStatus.load();
  if (old == kEdiskCopying && state != kEdiskCopying) {
    // Dark first, then the log store repaints the recording state it shows.
    leds(kLedRec, kLedRedGreen, kLedOffAct);
    pcfEnableLights(true);
  } else if (old != kEdiskCopying && state == kEdiskCopying) {
    pcfEnableLights(false);
    leds(kLedRec, kLedRedGreen, kLedOn);
    usbStorage.percent.store(0);
    usbStorage.bytes.store(0);
  }
  usbStorage.EcardStatus.store(state);
}

int usbDiskPass() {
  if (dbi == kDbgEdiskForceCopying) {
    edisk_SET_STAT(kEdiskCopying);
    dbi = kDbgEdiskForced;
  } else if (dbi == kDbgEdiskForceFinished) {
    edisk_SET_STAT(kEdiskFinished);
    dbi = kDbgEdiskForced;
  }
  if (ediskGetStat() == kEdiskCopying) {
    leds(kLedRec, kLedRedGreen, kLedToggle);
    if (usbStorage.passCounter == 0) {
      const int s = ediskGetState_f();
      if (s != kEdiskCopying) edisk_SET_STAT(s);
      readFileCopyProgr();
    }
    usbStorage.passCounter = (usbStorage.passCounter + 1) % kUsbDiskReadEvery;
  } else {
    edisk_SET_STAT(ediskGetState_f());
  }
  return ediskGetStat() == kEdiskCopying ? kUsbDiskCopyTicks : kUsbDiskIdleTicks;
}

bool StartUSBStorage(int priority) {
  static Task* task = nullptr;
  if (task == nullptr) task = new Task(priority, usbDiskTask, nullptr, "USBDISK", kUsbDiskStack);
  task->resume();
  return true;
}
