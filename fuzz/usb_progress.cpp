// The USB copy tool's progress output: any bytes, as a text and as the progress file. The reader
// that walks back from the end must find what reading the text line by line from the start finds
// (the last line, its last "%", the 19 characters before it in that line), the byte count is
// never more than its 15 digits can hold, and the file gives what the text gives.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "gnss_link/peripherals/usb_storage.h"
#include "platform/host_path.h"

namespace {

// The copy tool's output held in memory, read backwards as the progress file is.
struct TextBack {
  const char* text;
  std::size_t at;
  int operator()() { return at == 0 ? -1 : static_cast<unsigned char>(text[--at]); }
};
bool progressWindow(const char* text, std::size_t n, char (&window)[kProgressWindow]) {
  TextBack back{text, n};
  return windowFromEnd(back, window);
}
bool parseProgressText(const char* text, std::size_t n, int& percent, std::int64_t& bytes) {
  char w[kProgressWindow];
  return progressWindow(text, n, w) && parseProgressWindow(w, percent, bytes);
}

// The window read forwards: split at LF, the last line (a final LF ends it, no line after it).
bool forwardWindow(const std::string& t, std::string& w) {
  if (t.empty()) return false;
  std::size_t end = t.size();
  if (t[end - 1] == '\n') --end;
  std::size_t from = 0;
  if (end > 0) {
    const std::size_t nl = t.rfind('\n', end - 1);
    if (nl != std::string::npos) from = nl + 1;
  }
  const std::string line = t.substr(from, end - from);
  const std::size_t pct = line.rfind('%');
  if (pct == std::string::npos || pct < kProgressWindow - 1) return false;
  w = line.substr(pct - (kProgressWindow - 1), kProgressWindow);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("usb_progress");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<char> text(data, data + size);
  char w[kProgressWindow];
  const bool found = progressWindow(text.data(), text.size(), w);
  std::string ref;
  const bool refFound = forwardWindow(std::string(text.begin(), text.end()), ref);
  if (found != refFound || (found && std::memcmp(w, ref.data(), kProgressWindow) != 0)) std::abort();

  int pct = 0;
  std::int64_t bytes = 0;
  const bool parsed = parseProgressText(text.data(), text.size(), pct, bytes);
  if (parsed && (pct < -99 || pct > 999 || bytes < -100000000000000000LL || bytes > 100000000000000000LL)) std::abort();

  // The same bytes as the progress file.
  const HostPath path(kEdiskProgressFile);
  if (!makeParentDirs(path)) std::abort();
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  usbStorage.percent = -1000;
  usbStorage.bytes = -1000;
  readFileCopyProgr();
  if (parsed ? (usbStorage.percent != pct || usbStorage.bytes != bytes)
             : (usbStorage.percent != -1000 || usbStorage.bytes != -1000))
    std::abort();
  return 0;
}
