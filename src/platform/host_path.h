// Where the program finds the system's files. The target build uses absolute system paths as
// they are; the host build re-roots every one of them under host/ of the run directory, so that
// a test or a demo never reads or writes the machine's own /etc, /var or /sys.
#pragma once

#include <cstddef>

// Writes the path to use for the absolute system path `abs` into `buf` and returns buf; a
// relative path is left unchanged. The result is cut to fit `n` (always terminated).
const char* hostPath(const char* abs, char* buf, std::size_t n);

// Convenience holder for one mapped path.
class HostPath {
 public:
  explicit HostPath(const char* abs) { hostPath(abs, buf_, sizeof buf_); }
  const char* c_str() const { return buf_; }
  operator const char*() const { return buf_; }

 private:
  char buf_[256];
};

// Creates the directories above `path` (like mkdir -p of its dirname); true when they exist.
bool makeParentDirs(const char* path);
