#include "e2e/harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {
void removeTree(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d != nullptr) {
    while (dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      std::string p = path + "/" + e->d_name;
      struct stat st {};
      if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        removeTree(p);
      else
        unlink(p.c_str());
    }
    closedir(d);
  }
  rmdir(path.c_str());
}

ExitStatus decode(int ws) {
  ExitStatus s;
  if (WIFEXITED(ws)) {
    s.exited = true;
    s.code = WEXITSTATUS(ws);
  } else if (WIFSIGNALED(ws)) {
    s.signaled = true;
    s.signal = WTERMSIG(ws);
  }
  return s;
}
}  // namespace

// ---- RunDir ------------------------------------------------------------------------------

RunDir::RunDir() {
  char tmpl[] = "/tmp/rxe2e.XXXXXX";
  const char* p = mkdtemp(tmpl);
  path_ = p ? p : "";
}

RunDir::~RunDir() {
  if (!path_.empty()) removeTree(path_);
}

bool RunDir::exists(const std::string& rel) const {
  struct stat st {};
  return lstat(file(rel).c_str(), &st) == 0;
}

long long RunDir::size(const std::string& rel) const {
  struct stat st {};
  if (stat(file(rel).c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

std::string RunDir::read(const std::string& rel) const {
  std::ifstream f(file(rel), std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool RunDir::write(const std::string& rel, const std::string& content) const {
  std::string full = file(rel);
  for (std::size_t i = path_.size() + 1; i < full.size(); ++i) {
    if (full[i] == '/') mkdir(full.substr(0, i).c_str(), 0755);
  }
  std::ofstream f(full, std::ios::binary | std::ios::trunc);
  f << content;
  return static_cast<bool>(f);
}

// ---- Rxengine ----------------------------------------------------------------------------

Rxengine::Rxengine(const RunDir& dir, std::string program) : dir_(dir), program_(std::move(program)) {}

Rxengine::~Rxengine() {
  if (pid_ > 0 && !reaped_) kill();
  if (errThread_.joinable()) errThread_.join();
  if (outThread_.joinable()) outThread_.join();
}

bool Rxengine::start() {
  int errPipe[2], outPipe[2];
  if (pipe2(errPipe, O_CLOEXEC) != 0) return false;
  if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    // Child: only async-signal-safe calls until exec.
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) dup2(null, 0);
    if (chdir(dir_.path().c_str()) != 0) _exit(126);
    const char* argv[] = {"rxengine", nullptr};
    const char* envp[] = {nullptr};
    execve(program_.c_str(), const_cast<char* const*>(argv), const_cast<char* const*>(envp));
    _exit(127);
  }
  close(errPipe[1]);
  close(outPipe[1]);
  reaped_ = false;
  errThread_ = std::thread(&Rxengine::reader, this, errPipe[0], &err_);
  outThread_ = std::thread(&Rxengine::reader, this, outPipe[0], &out_);
  return true;
}

void Rxengine::reader(int fd, std::string* into) {
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::lock_guard<std::mutex> l(m_);
    into->append(buf, static_cast<std::size_t>(n));
    cv_.notify_all();
  }
  close(fd);
}

bool Rxengine::running() {
  if (pid_ <= 0 || reaped_) return false;
  int ws = 0;
  pid_t r = waitpid(pid_, &ws, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    status_ = decode(ws);
    return false;
  }
  return true;
}

std::string Rxengine::stderrText() {
  std::lock_guard<std::mutex> l(m_);
  return err_;
}

std::string Rxengine::stdoutText() {
  std::lock_guard<std::mutex> l(m_);
  return out_;
}

std::size_t Rxengine::stderrSize() {
  std::lock_guard<std::mutex> l(m_);
  return err_.size();
}

bool Rxengine::waitStderr(const std::string& text, int guardMs, std::size_t from) {
  std::unique_lock<std::mutex> l(m_);
  return cv_.wait_for(l, std::chrono::milliseconds(guardMs),
                      [&] { return err_.size() >= from && err_.find(text, from) != std::string::npos; });
}

bool Rxengine::signal(int sig) { return pid_ > 0 && !reaped_ && ::kill(pid_, sig) == 0; }

bool Rxengine::waitExit(ExitStatus& status, int guardMs) {
  if (pid_ <= 0) return false;
  if (!waitUntil([&] { return !running(); }, guardMs)) return false;
  status = status_;
  // Everything the process wrote is in the buffers once its pipes closed.
  if (errThread_.joinable()) errThread_.join();
  if (outThread_.joinable()) outThread_.join();
  return true;
}

ExitStatus Rxengine::kill() {
  ExitStatus s;
  if (pid_ <= 0) return s;
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    int ws = 0;
    if (waitpid(pid_, &ws, 0) == pid_) status_ = decode(ws);
    reaped_ = true;
  }
  if (errThread_.joinable()) errThread_.join();
  if (outThread_.joinable()) outThread_.join();
  return status_;
}

std::vector<std::string> Rxengine::threadNames() const {
  std::vector<std::string> names;
  std::string dir = "/proc/" + std::to_string(pid_) + "/task";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream f(dir + "/" + e->d_name + "/comm");
    std::string n;
    if (std::getline(f, n)) names.push_back(n);
  }
  closedir(d);
  return names;
}

}  // namespace e2e
