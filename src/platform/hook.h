// The two ways a lower layer lets a higher one in: a Hook holds one function (empty, a call does
// nothing and gives the value named at its declaration), a HookList holds an ordered list of
// them (each called in the order added). Both are static objects of the layer that calls them;
// src/main fills them, and nothing else does. Each one enters itself, with its owner and name,
// in a registry that the start-up wiring check walks, so a hook the program leaves empty is seen.
#pragma once

#include <atomic>
#include <cstddef>

struct HookInfo {
  const char* owner;  // layer that owns and calls the hook
  const char* name;   // the hook's name, unique within its owner
  int (*count)(const void* self);  // functions it holds: 0 or 1 for a Hook
  const void* self;
};

// Enters a hook in the registry (from the hook's constructor, before main).
void hookRegister(const HookInfo& info);
// The registered hooks, in the order they were built.
int hookCount();
const HookInfo* hookAt(int i);
// The hook of that owner and name; nullptr when there is none.
const HookInfo* hookFind(const char* owner, const char* name);

// What both forms of Hook share: the function, filled and read atomically, and the registration.
template <class Fn>
class HookSlot {
 public:
  HookSlot(const char* owner, const char* name) {
    hookRegister({owner, name, &HookSlot::countOf, this});
  }
  HookSlot(const HookSlot&) = delete;
  HookSlot& operator=(const HookSlot&) = delete;

  void set(Fn fn) { fn_.store(fn, std::memory_order_release); }
  bool filled() const { return fn_.load(std::memory_order_acquire) != nullptr; }
  Fn get() const { return fn_.load(std::memory_order_acquire); }

 private:
  static int countOf(const void* self) { return static_cast<const HookSlot*>(self)->filled() ? 1 : 0; }
  std::atomic<Fn> fn_{nullptr};
};

template <class Sig>
class Hook;

template <class R, class... A>
class Hook<R(A...)> : public HookSlot<R (*)(A...)> {
 public:
  using Fn = R (*)(A...);
  Hook(const char* owner, const char* name, R whenEmpty = R{}) : HookSlot<Fn>(owner, name), empty_(whenEmpty) {}
  Hook& operator=(Fn fn) {
    this->set(fn);
    return *this;
  }
  R operator()(A... a) const {
    const Fn fn = this->get();
    return fn ? fn(a...) : empty_;
  }

 private:
  R empty_;
};

template <class... A>
class Hook<void(A...)> : public HookSlot<void (*)(A...)> {
 public:
  using Fn = void (*)(A...);
  Hook(const char* owner, const char* name) : HookSlot<Fn>(owner, name) {}
  Hook& operator=(Fn fn) {
    this->set(fn);
    return *this;
  }
  void operator()(A... a) const {
    if (const Fn fn = this->get()) fn(a...);
  }
};

// An ordered list of up to N functions, each called in turn. Adding the same function twice, or
// to a full list, is refused (false), so a start-up step run again cannot double a duty.
template <class Sig, int N = 16>
class HookList;

template <class... A, int N>
class HookList<void(A...), N> {
 public:
  using Fn = void (*)(A...);
  HookList(const char* owner, const char* name) {
    hookRegister({owner, name, &HookList::countOf, this});
  }
  HookList(const HookList&) = delete;
  HookList& operator=(const HookList&) = delete;

  bool add(Fn fn) {
    if (!fn) return false;
    int n = count_.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i)
      if (fns_[i].load(std::memory_order_relaxed) == fn) return false;
    if (n >= N) return false;
    fns_[n].store(fn, std::memory_order_relaxed);
    count_.store(n + 1, std::memory_order_release);
    return true;
  }
  int size() const { return count_.load(std::memory_order_acquire); }
  Fn at(int i) const { return i >= 0 && i < size() ? fns_[i].load(std::memory_order_relaxed) : nullptr; }
  void operator()(A... a) const {
    const int n = size();
    for (int i = 0; i < n; ++i)
      if (const Fn fn = fns_[i].load(std::memory_order_relaxed)) fn(a...);
  }
  // Empties the list (tests that run a start-up step twice in one process).
  void clear() { count_.store(0, std::memory_order_release); }

 private:
  static int countOf(const void* self) { return static_cast<const HookList*>(self)->size(); }
  std::atomic<Fn> fns_[N]{};
  std::atomic<int> count_{0};
};
