// A ring of epochs that one writer fills in place while readers hold older ones: the writer
// obtains the next item, writes it and releases it as the newest (or reclaims it unpublished);
// readers take an item (its reader count goes up) and must unlock it. An item readers still hold
// is never overwritten: when the ring's next item is held, one of two spare items takes its
// place in the ring and the held one waits outside until its readers let go.
//
// `Lock` guards everything (a Mutex; a do-nothing lock where one task does all the work).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/rtos.h"

// A lock that does nothing, for a ring used by one task only.
struct SmartRingBufNoMutex {
  void lock() {}
  void unlock() {}
};

template <class T, class Lock>
class SmartRingBuf {
 public:
  static constexpr int kSpares = 2;

  explicit SmartRingBuf(int n)
      : size(n < 1 ? 1 : n),
        total(this->size + kSpares),
        items(std::make_unique<Item[]>(static_cast<std::size_t>(total))),
        order(std::make_unique<std::int32_t[]>(static_cast<std::size_t>(total))) {
    for (int i = 0; i < total; ++i) order[i] = i;
  }
  SmartRingBuf(const SmartRingBuf&) = delete;
  SmartRingBuf& operator=(const SmartRingBuf&) = delete;

  int capacity() const { return size; }

  // The item to write next, locked for writing; null while another is obtained or when the ring
  // item and both spares are held by readers. A full ring drops its oldest epoch here.
  T* obtain() {
    Locker<Lock> l(mutex);
    if (obtained) return nullptr;
    Item* cand = &items[order[tail]];
    if (cand->lock > 0) {
      int spare = -1;
      for (int p = size; p < total; ++p) {
        if (items[order[p]].lock == 0) {
          spare = p;
          break;
        }
      }
      if (spare < 0) return nullptr;
      const std::int32_t t = order[tail];
      order[tail] = order[spare];
      order[spare] = t;
      cand = &items[order[tail]];
    }
    if (cand->lock != 0) return nullptr;
    if (full) head = next(head);
    cand->lock = -1;
    obtained = 1;
    return &cand->data;
  }

  // Publishes the obtained item as the newest; anything else is ignored.
  void release(T* m) {
    Locker<Lock> l(mutex);
    Item* it = writing(m);
    if (it == nullptr) return;
    it->lock = 0;
    tail = next(tail);
    obtained = 0;
    full = head == tail ? 1 : 0;
  }

  // Gives the obtained item back unpublished (a full ring lost its oldest epoch in obtain).
  void reclaim(T* m) {
    Locker<Lock> l(mutex);
    Item* it = writing(m);
    if (it == nullptr) return;
    it->lock = 0;
    full = 0;
    obtained = 0;
  }

  // The newest epoch, held; null when empty.
  const T* get() {
    Locker<Lock> l(mutex);
    if (isEmpty()) return nullptr;
    Item& it = items[order[prev(tail)]];
    ++it.lock;
    return &it.data;
  }

  // The newest epoch for which `wanted` holds, searched from newest to oldest and then among the
  // held spares; held; null when none.
  template <class Pred>
  const T* findIf(Pred wanted) {
    Locker<Lock> l(mutex);
    if (isEmpty()) return nullptr;
    int p = tail;
    do {
      p = prev(p);
      Item& it = items[order[p]];
      if (wanted(static_cast<const T&>(it.data))) {
        ++it.lock;
        return &it.data;
      }
    } while (p != head);
    for (int s = size; s < total; ++s) {
      Item& it = items[order[s]];
      if (it.lock > 0 && wanted(static_cast<const T&>(it.data))) {
        ++it.lock;
        return &it.data;
      }
    }
    return nullptr;
  }

  // Drops one reader; null and items not held are ignored.
  void unlock(const T* m) {
    if (m == nullptr) return;
    Locker<Lock> l(mutex);
    for (int i = 0; i < total; ++i) {
      if (&items[i].data == m) {
        if (items[i].lock > 0) --items[i].lock;
        return;
      }
    }
  }

  // Empties the ring; held items stay held.
  void clear() {
    Locker<Lock> l(mutex);
    tail = head;
    full = 0;
  }

  // Epochs in the ring.
  int count() {
    Locker<Lock> l(mutex);
    if (full) return size;
    return (tail - head + size) % size;
  }

 private:
  struct Item {
    T data;
    std::int32_t lock = 0;  // 0 free, -1 being written, > 0 readers
  };

  int next(int p) const { return p + 1 == size ? 0 : p + 1; }
  int prev(int p) const { return p == 0 ? size - 1 : p - 1; }
  bool isEmpty() const { return head == tail && !full; }
  Item* writing(T* m) {
    if (m == nullptr || !obtained) return nullptr;
    Item* it = &items[order[tail]];
    return &it->data == m && it->lock == -1 ? it : nullptr;
  }

  const std::int32_t size;
  const std::int32_t total;
  std::unique_ptr<Item[]> items;
  std::unique_ptr<std::int32_t[]> order;
  std::int32_t head = 0;
  std::int32_t tail = 0;
  std::uint8_t full = 0;
  std::uint8_t obtained = 0;
  Lock mutex;
};
