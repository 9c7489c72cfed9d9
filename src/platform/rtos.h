// Task layer over POSIX threads: tasks with fixed priorities, locks, semaphores and the
// single-slot rendezvous mailbox. Every timeout counts 10 ms ticks; kForever waits without end
// and 0 polls.
#pragma once

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace rtos {
constexpr int kTickMs = 10;
constexpr int kForever = -1;
// Priorities 0..28 ask for real-time FIFO scheduling, 29 and above the normal scheduler.
constexpr int kLastRealTimePriority = 28;
}  // namespace rtos

class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock();
  void unlock();
  // Waits at most `ticks`; true when the lock was taken.
  bool lock(int ticks);
  bool tryLock();
  pthread_mutex_t* native() { return &m_; }

 private:
  pthread_mutex_t m_;
};

// Scoped holder for any lock with lock()/unlock().
template <class L>
class Locker {
 public:
  explicit Locker(L& l) : l_(l) { l_.lock(); }
  ~Locker() { l_.unlock(); }
  Locker(const Locker&) = delete;
  Locker& operator=(const Locker&) = delete;

 private:
  L& l_;
};

class CVar {
 public:
  CVar();
  ~CVar();
  CVar(const CVar&) = delete;
  CVar& operator=(const CVar&) = delete;

  // `m` must be held; false on timeout.
  bool wait(Mutex& m, int ticks = rtos::kForever);
  // Waits until a CLOCK_MONOTONIC deadline; false on timeout.
  bool waitUntil(Mutex& m, const timespec& deadline);
  void signal();
  void broadcast();

 private:
  pthread_cond_t c_;
};

// Two-state semaphore: post sets the flag (once), wait takes it.
class BinSem {
 public:
  explicit BinSem(bool posted = false);
  void post();
  void wait();
  bool wait(int ticks);

 private:
  Mutex m_;
  CVar c_;
  bool flag_;
};

class CountSem {
 public:
  explicit CountSem(unsigned initial = 0);
  void post();
  bool wait(int ticks);

 private:
  Mutex m_;
  CVar c_;
  unsigned n_;
};

// Single-slot rendezvous: put_ hands a pointer over and keeps the sender blocked until the
// receiver calls release(); other senders queue behind it.
class MailBoxImp {
 public:
  MailBoxImp();
  void put_(void* item);
  // Waits for an item; null on timeout.
  void* get_(int ticks = rtos::kForever);
  // Ends the rendezvous of the item taken by the last get_.
  void release();

 private:
  enum class State { Empty, Full, Taken };
  Mutex m_;
  CVar c_;
  State state_;
  void* item_;
  std::uint64_t putSeq_;
  std::uint64_t releasedSeq_;
};

class Task {
 public:
  using Entry = void* (*)(void*);

  // Creates the thread suspended; resume() lets it run. `stackMem` and `flags` are accepted for
  // the target's calling form and unused on Linux.
  Task(int priority, Entry entry, void* arg, const char* name, int stackSize,
       void* stackMem = nullptr, int flags = 0);
  ~Task() = default;
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  void resume();
  bool started() const { return started_; }
  const char* name() const { return name_; }
  int priority() const { return priority_; }
  pthread_t thread() const { return thread_; }

  static void sleep(int ticks);
  // Changes the calling thread's priority in the task scale.
  static void setSelfPriority(int priority);

 private:
  static void* trampoline(void* self);

  Entry entry_;
  void* arg_;
  int priority_;
  char name_[16];
  pthread_t thread_{};
  BinSem go_;
  bool started_ = false;
};
