// USB storage: when a flash drive is plugged in, the system's scripts mount it and copy the
// recordings to it, and tell how it goes through two marker files and the copy tool's progress
// output. The task USBDISK watches them, keeps the copy state and progress for the print keys,
// and shows the copy on the recording LED: both lines blink while copying, and the log store's
// recording-status LEDs are suspended meanwhile.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// The files the scripts write (absolute system paths, mapped by hostPath).
inline constexpr const char* kEdiskMountedFile = "/var/run/edisk_mounted";
inline constexpr const char* kEdiskFinishedFile = "/var/run/edisk_finished";
inline constexpr const char* kEdiskProgressFile = "/home/firm/ext-usbflash_progr";

// Copy states: no drive, and drive mounted with the copy running. Once the copy has ended the
// state is the finished marker's value, -8..3, 3 meaning finished in general; a negative value is
// an error whose code is the negated value.
inline constexpr int kEdiskNone = 0;
inline constexpr int kEdiskCopying = 2;
inline constexpr int kEdiskFinished = 3;
inline constexpr int kEdiskMarkerMin = -8;
inline constexpr int kEdiskMarkerMax = 3;

// Task USBDISK.
inline constexpr int kUsbDiskPriority = 29;
inline constexpr int kUsbDiskStack = 6332;
// Sleep before each pass, in 10 ms ticks: while copying (one blink toggle per pass) and else.
inline constexpr int kUsbDiskCopyTicks = 10;
inline constexpr int kUsbDiskIdleTicks = 1000;
// While copying, the markers and the progress are read on one pass of this many.
inline constexpr int kUsbDiskReadEvery = 11;
// Debug selector values that force the state to copying and to finished; the selector then
// becomes this value.
inline constexpr int kDbgEdiskForceCopying = 73528;
inline constexpr int kDbgEdiskForceFinished = 73529;
inline constexpr int kDbgEdiskForced = 4;

// The copy state and progress. Only USBDISK writes them; the print keys read them without a lock,
// so each is one atomic word. The byte count is 64-bit: a copy passes 2 GiB easily.
struct UsbStorage {
  std::atomic<int> EcardStatus{kEdiskNone};
  std::atomic<int> percent{0};
  std::atomic<std::int64_t> bytes{0};
  // Passes while copying, 0..kUsbDiskReadEvery-1; the markers are read at 0. USBDISK's own.
  int passCounter = 0;
};
extern UsbStorage usbStorage;

// Creates USBDISK on the first call and resumes it; true.
bool StartUSBStorage(int priority = kUsbDiskPriority);

int ediskGetStat();
// The error code: the negated state when it is negative, else 0.
int ediskGetErr();
// The percentage and the copied kilobytes (bytes >> 10).
void ediskGetProgr(int& percent, std::int64_t& kilobytes);
// The state the marker files tell.
int ediskGetState_f();
// Changes the state with its LED side effects.
void edisk_SET_STAT(int state);
// Reads the progress file and, when its last update parses, stores percentage and bytes.
void readFileCopyProgr();

// One pass of USBDISK after its sleep: the debug selector's forcing, then the blink and the
// reads. Returns the ticks to sleep before the next pass.
int usbDiskPass();

// ---- the progress output --------------------------------------------------------------------

// One update of the copy tool is 20 characters ending with its "%": the byte count right-aligned
// in 15 characters with thousands commas, a blank, the percentage in 3 characters, "%".
inline constexpr int kProgressWindow = 20;

// The 20 characters ending with the last "%" of the last line (lines end at LF; a CR is an
// ordinary character, so the updates the tool separates by CR make one line), from a source that
// gives the text's characters from its end backwards (-1 before the start). False when there is
// no line, the last line has no "%", or fewer than 19 characters precede it there.
template <class Prev>
bool windowFromEnd(Prev& prev, char (&w)[kProgressWindow]) {
  int c = prev();
  if (c < 0) return false;    // no line at all
  if (c == '\n') c = prev();  // the last line's own end
  while (c >= 0 && c != '\n' && c != '%') c = prev();
  if (c != '%') return false;
  w[kProgressWindow - 1] = '%';
  for (int i = kProgressWindow - 2; i >= 0; --i) {
    c = prev();
    if (c < 0 || c == '\n') return false;  // fewer than 19 characters before it in its line
    w[i] = static_cast<char>(c);
  }
  return true;
}
// Percentage and bytes of one window; false when the percentage is not a number (nothing is to be
// stored then). Bytes that are not a number read -1.
bool parseProgressWindow(const char (&window)[kProgressWindow], int& percent, std::int64_t& bytes);
