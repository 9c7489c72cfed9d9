#include "platform/rtos.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/exit.h"

namespace {

timespec deadlineAfterTicks(int ticks) {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  long long ns = ts.tv_nsec + static_cast<long long>(ticks) * rtos::kTickMs * 1000000LL;
  ts.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return ts;
}

[[noreturn]] void threadFailure(const char* call, int err) {
  std::fprintf(stderr, "$$RT: %s failed: %s\n", call, std::strerror(err));
  rxExit(kExitTaskFailure);
}

void check(const char* call, int err) {
  if (err != 0) threadFailure(call, err);
}

std::atomic<bool> g_rtRefused{false};

int fifoPriority(int taskPriority) {
  // Task priority 0 is the most urgent; keep the top of the FIFO range for the system.
  return std::max(1, 90 - taskPriority);
}

}  // namespace

// ---- Mutex -------------------------------------------------------------------------------

Mutex::Mutex() { check("pthread_mutex_init", pthread_mutex_init(&m_, nullptr)); }
Mutex::~Mutex() { pthread_mutex_destroy(&m_); }
void Mutex::lock() { check("pthread_mutex_lock", pthread_mutex_lock(&m_)); }
void Mutex::unlock() { pthread_mutex_unlock(&m_); }
bool Mutex::tryLock() { return pthread_mutex_trylock(&m_) == 0; }
bool Mutex::lock(int ticks) {
  if (ticks < 0) {
    lock();
    return true;
  }
  if (ticks == 0) return tryLock();
  timespec ts = deadlineAfterTicks(ticks);
  return pthread_mutex_clocklock(&m_, CLOCK_MONOTONIC, &ts) == 0;
}

// ---- CVar --------------------------------------------------------------------------------

CVar::CVar() {
  pthread_condattr_t a;
  pthread_condattr_init(&a);
  pthread_condattr_setclock(&a, CLOCK_MONOTONIC);
  check("pthread_cond_init", pthread_cond_init(&c_, &a));
  pthread_condattr_destroy(&a);
}
CVar::~CVar() { pthread_cond_destroy(&c_); }
void CVar::signal() { pthread_cond_signal(&c_); }
void CVar::broadcast() { pthread_cond_broadcast(&c_); }
bool CVar::waitUntil(Mutex& m, const timespec& deadline) {
  return pthread_cond_timedwait(&c_, m.native(), &deadline) == 0;
}
bool CVar::wait(Mutex& m, int ticks) {
  if (ticks < 0) {
    pthread_cond_wait(&c_, m.native());
    return true;
  }
  timespec ts = deadlineAfterTicks(ticks);
  return pthread_cond_timedwait(&c_, m.native(), &ts) == 0;
}

// ---- BinSem ------------------------------------------------------------------------------

BinSem::BinSem(bool posted) : flag_(posted) {}
void BinSem::post() {
  Locker<Mutex> l(m_);
  if (!flag_) {
    flag_ = true;
    c_.signal();
  }
}
void BinSem::wait() { wait(rtos::kForever); }
bool BinSem::wait(int ticks) {
  Locker<Mutex> l(m_);
  if (ticks >= 0) {
    timespec end = deadlineAfterTicks(ticks);
    while (!flag_) {
      if (!c_.waitUntil(m_, end)) break;
    }
  } else {
    while (!flag_) c_.wait(m_);
  }
  if (!flag_) return false;
  flag_ = false;
  return true;
}

// ---- CountSem ----------------------------------------------------------------------------

CountSem::CountSem(unsigned initial) : n_(initial) {}
void CountSem::post() {
  Locker<Mutex> l(m_);
  ++n_;
  c_.signal();
}
bool CountSem::wait(int ticks) {
  Locker<Mutex> l(m_);
  if (ticks < 0) {
    while (n_ == 0) c_.wait(m_);
  } else {
    timespec end = deadlineAfterTicks(ticks);
    while (n_ == 0) {
      if (!c_.waitUntil(m_, end)) break;
    }
  }
  if (n_ == 0) return false;
  --n_;
  return true;
}

// ---- MailBoxImp --------------------------------------------------------------------------

MailBoxImp::MailBoxImp() : state_(State::Empty), item_(nullptr), putSeq_(0), releasedSeq_(0) {}

void MailBoxImp::put_(void* item) {
  Locker<Mutex> l(m_);
  while (state_ != State::Empty) c_.wait(m_);
  item_ = item;
  state_ = State::Full;
  std::uint64_t mine = ++putSeq_;
  c_.broadcast();
  while (releasedSeq_ < mine) c_.wait(m_);
}

void* MailBoxImp::get_(int ticks) {
  Locker<Mutex> l(m_);
  if (ticks < 0) {
    while (state_ != State::Full) c_.wait(m_);
  } else {
    timespec end = deadlineAfterTicks(ticks);
    while (state_ != State::Full) {
      if (!c_.waitUntil(m_, end)) break;
    }
    if (state_ != State::Full) return nullptr;
  }
  state_ = State::Taken;
  return item_;
}

void MailBoxImp::release() {
  Locker<Mutex> l(m_);
  if (state_ != State::Taken) return;
  item_ = nullptr;
  state_ = State::Empty;
  releasedSeq_ = putSeq_;
  c_.broadcast();
}

// ---- Task --------------------------------------------------------------------------------

Task::Task(int priority, Entry entry, void* arg, const char* name, int stackSize, void*, int)
    : entry_(entry), arg_(arg), priority_(priority) {
  std::snprintf(name_, sizeof name_, "%s", name ? name : "task");
  // Stack sizes were chosen for the target's lean C library; host threads (and the
  // sanitizers) need far more, so never go below a generous floor.
  std::size_t stack = std::max<std::size_t>(static_cast<std::size_t>(std::max(stackSize, 0)) * 16,
                                            std::size_t{1} << 20);
  pthread_attr_t a;
  check("pthread_attr_init", pthread_attr_init(&a));
  check("pthread_attr_setstacksize", pthread_attr_setstacksize(&a, stack));
  bool rt = priority_ <= rtos::kLastRealTimePriority && !g_rtRefused.load();
  if (rt) {
    sched_param sp{};
    sp.sched_priority = fifoPriority(priority_);
    pthread_attr_setinheritsched(&a, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&a, SCHED_FIFO);
    pthread_attr_setschedparam(&a, &sp);
  }
  int err = pthread_create(&thread_, &a, &Task::trampoline, this);
  if (err == EPERM && rt) {
    if (!g_rtRefused.exchange(true))
      std::fprintf(stderr, "$$RT: real-time priorities not permitted, tasks use the normal scheduler\n");
    pthread_attr_setinheritsched(&a, PTHREAD_INHERIT_SCHED);
    err = pthread_create(&thread_, &a, &Task::trampoline, this);
  }
  pthread_attr_destroy(&a);
  check("pthread_create", err);
  pthread_setname_np(thread_, name_);
}

void* Task::trampoline(void* self) {
  Task* t = static_cast<Task*>(self);
  t->go_.wait();
  return t->entry_(t->arg_);
}

void Task::resume() {
  if (started_) return;
  started_ = true;
  go_.post();
}

void Task::sleep(int ticks) {
  if (ticks <= 0) {
    sched_yield();
    return;
  }
  timespec ts{ticks * rtos::kTickMs / 1000, static_cast<long>(ticks * rtos::kTickMs % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void Task::setSelfPriority(int priority) {
  sched_param sp{};
  if (priority <= rtos::kLastRealTimePriority && !g_rtRefused.load()) {
    sp.sched_priority = fifoPriority(priority);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp) == 0) return;
    if (!g_rtRefused.exchange(true))
      std::fprintf(stderr, "$$RT: real-time priorities not permitted, tasks use the normal scheduler\n");
  }
  sp.sched_priority = 0;
  pthread_setschedparam(pthread_self(), SCHED_OTHER, &sp);
}
