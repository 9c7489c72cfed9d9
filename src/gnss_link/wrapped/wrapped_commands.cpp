#include "gnss_link/wrapped/wrapped_commands.h"

#include <cstring>

#include "command/input_parser.h"
#include "platform/rtos.h"

namespace {

struct Slot {
  int port;
  int len;
  char text[WrappedCommands::kMaxText];
};

// A ring of copies; the lock is held only to copy in or out, never while the parser runs.
struct Queue {
  Mutex m;
  CVar ready;
  Slot slots[WrappedCommands::kSlots];
  int head = 0;  // next to take
  int count = 0;
};

Queue& queue() {
  // Never destroyed: the hand-over task waits on it until the process ends.
  static Queue& q = *new Queue;
  return q;
}


void* handOver(void*) {
  Queue& q = queue();
  static Slot item;
  for (;;) {
    {
      Locker<Mutex> l(q.m);
      while (q.count == 0) q.ready.wait(q.m);
      item = q.slots[q.head];
      q.head = (q.head + 1) % WrappedCommands::kSlots;
      --q.count;
    }
    // The parser answers on the port itself and never parks the answer for a sender.
    InputParser::Item it{item.text, item.len, item.port, InputParser::kDetached};
    InputParser::mBox_.put_(&it);
  }
  return nullptr;
}

void startOnce() {
  static Task* task = [] {
    auto* t = new Task(WrappedCommands::kPriority, handOver, nullptr, "AZRC", 4096);
    t->resume();
    return t;
  }();
  (void)task;
}

}  // namespace

bool WrappedCommands::post(const char* text, int len, int port) {
  if (text == nullptr || len <= 0 || len > kMaxText) return false;
  startOnce();
  Queue& q = queue();
  Locker<Mutex> l(q.m);
  if (q.count >= kSlots) return false;
  Slot& s = q.slots[(q.head + q.count) % kSlots];
  s.port = port;
  s.len = len;
  std::memcpy(s.text, text, static_cast<std::size_t>(len));
  ++q.count;
  q.ready.signal();
  return true;
}

