// A small terminal for the receiver's ports: sends what is typed (one line at a time) and
// shows what the port answers, with bytes that are not text shown as \xNN.
//   port_terminal PATH                  interactive; Ctrl-D or Ctrl-C ends it (input from a
//                                       pipe: its answers are shown until the port is quiet)
//   port_terminal PATH -c CMD [-c CMD]  sends each command, prints the answers, ends when the
//                                       port has been quiet for --quiet ms (default 500)
// PATH is a serial or USB port (a pseudo-terminal such as RUN/dev/ser/a) or a Unix socket.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

int openPort(const std::string& path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return -1;
  if (S_ISSOCK(st.st_mode)) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
  }
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  return fd;
}

void show(const char* data, ssize_t n, bool raw) {
  std::string out;
  for (ssize_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (raw || c == '\n' || c == '\r' || c == '\t' || (c >= 32 && c < 127)) {
      if (!raw && c == '\r') continue;  // CR LF shows as one line end
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  (void)!write(1, out.data(), out.size());
}

bool sendAll(int fd, const std::string& s) {
  std::size_t off = 0;
  while (off < s.size()) {
    ssize_t w = write(fd, s.data() + off, s.size() - off);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    off += static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  std::vector<std::string> commands;
  bool raw = false;
  int quietMs = 500;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-c" && i + 1 < argc) {
      commands.push_back(argv[++i]);
    } else if (a == "--raw") {
      raw = true;
    } else if (a == "--quiet" && i + 1 < argc) {
      quietMs = std::atoi(argv[++i]);
    } else if (path.empty() && a[0] != '-') {
      path = a;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: port_terminal PATH [-c COMMAND]... [--raw] [--quiet MS]\n");
    return 2;
  }
  int fd = openPort(path);
  if (fd < 0) {
    std::fprintf(stderr, "port_terminal: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  struct sigaction sa{};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  char buf[4096];
  // Answers until the port has been quiet for a while.
  auto answers = [&] {
    while (!g_stop) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, quietMs) <= 0) break;
      ssize_t r = read(fd, buf, sizeof buf);
      if (r <= 0) break;
      show(buf, r, raw);
    }
  };
  if (!commands.empty()) {
    for (const auto& c : commands) {
      if (!sendAll(fd, c + "\n")) return 1;
    }
    answers();
    return 0;
  }

  if (isatty(0)) std::fprintf(stderr, "port_terminal: connected to %s; Ctrl-D or Ctrl-C ends\n", path.c_str());
  std::string line;
  while (!g_stop) {
    pollfd p[2] = {{0, POLLIN, 0}, {fd, POLLIN, 0}};
    if (poll(p, 2, -1) < 0) continue;
    if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t r = read(fd, buf, sizeof buf);
      if (r <= 0) {
        std::fprintf(stderr, "\nport_terminal: %s closed\n", path.c_str());
        break;
      }
      show(buf, r, raw);
    }
    if (p[0].revents & (POLLIN | POLLHUP)) {
      ssize_t r = read(0, buf, sizeof buf);
      if (r <= 0) {
        // Input from a pipe or file ends at once: its answers are still on their way.
        answers();
        break;
      }
      if (!sendAll(fd, std::string(buf, static_cast<std::size_t>(r)))) break;
    }
  }
  close(fd);
  return 0;
}
