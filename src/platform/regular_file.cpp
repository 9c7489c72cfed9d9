#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int openRegular(const char* path, FileOpen& why) {
  // Non-blocking, so that a FIFO without a writer or a device answers at once; a regular file
  // reads the same either way.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    struct stat st {};
    if (err == ENOENT || err == ENOTDIR)
      why = FileOpen::Missing;
    else if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode))
      why = FileOpen::NotRegular;  // a socket, or a device without its driver
    else
      why = FileOpen::Unreadable;
    errno = err;
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    why = FileOpen::NotRegular;
    return -1;
  }
  why = FileOpen::Ok;
  return fd;
}

const char* fileOpenText(FileOpen why) {
  switch (why) {
    case FileOpen::Ok:
      return "ok";
    case FileOpen::Missing:
      return "missing";
    case FileOpen::NotRegular:
      return "not a regular file";
    case FileOpen::Unreadable:
      break;
  }
  return "unreadable";
}

std::FILE* fopenRegular(const char* path, const char* who) {
  FileOpen why;
  const int fd = openRegular(path, why);
  if (fd < 0) {
    if (why == FileOpen::NotRegular)
      std::fprintf(stderr, "$$%s: %s not a regular file: ignored\n", who, path);
    else if (why == FileOpen::Unreadable)
      std::fprintf(stderr, "$$%s: %s unreadable (%s): ignored\n", who, path, std::strerror(errno));
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, "r");
  if (f == nullptr) ::close(fd);
  return f;
}
