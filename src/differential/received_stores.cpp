#include "differential/received_stores.h"

#include <cstring>

#include "positioning/engine/nav_main.h"

TextMessage TxtMsg;
RefParMessage RpMsg;

namespace {
int nextCounter(int c) { return c >= 31999 ? 0 : c + 1; }
}  // namespace

// ---- TextMessage ---------------------------------------------------------------------------

void TextMessage::putMessage(const char* text, int len, int port, short id, tTxtMsgType type) {
  Locker<Mutex> hold(writers_);
  Contents& c = master_;
  Entry& e = c.entries[c.next];
  e = Entry{};
  int n = text == nullptr || len < 0 ? 0 : len;
  if (n > kMaxText) n = kMaxText;
  // Stop at a terminator inside the given length, as a C string would.
  const void* nul = n > 0 ? std::memchr(text, '\0', n) : nullptr;
  if (nul != nullptr) n = static_cast<int>(static_cast<const char*>(nul) - text);
  if (n > 0) std::memcpy(e.text, text, n);
  e.text[n] = '\0';
  e.port = port;
  e.id = id;
  e.type = type;
  if (!navSolCalendar(e.time)) std::memset(e.time, 0, sizeof e.time);
  c.counter = nextCounter(c.counter);
  if (c.count < 2) ++c.count;
  c.next = c.next == 1 ? 0 : 1;
  pub_.publish(c);
}

void TextMessage::reset() {
  Locker<Mutex> hold(writers_);
  master_.counter = 0;
  master_.count = 0;
  master_.next = 0;
  pub_.publish(master_);
}

int TextMessage::getMessages(Entry out[2]) const {
  Contents c;
  pub_.read(c);
  const int n = c.count < 0 ? 0 : (c.count > 2 ? 2 : c.count);
  // The newest sits just before `next`.
  for (int i = 0; i < n; ++i) {
    const int slot = ((c.next - n + i) % 2 + 2) % 2;
    out[i] = c.entries[slot];
  }
  return n;
}

// ---- RefParMessage -------------------------------------------------------------------------

RefParMessage::RefParMessage() { pub_.publish(master_); }

void RefParMessage::putPar(const ReferencePos::REFPOS_PAR& pos, const ReferencePos::ANT_PAR& ant) {
  Locker<Mutex> hold(writers_);
  Contents& c = master_;
  const REFANT& cur = c.rec;
  const bool same = c.valid && std::strncmp(cur.pos.name, pos.name, sizeof pos.name) == 0 &&
                    cur.pos.x == pos.x && cur.pos.y == pos.y && cur.pos.z == pos.z &&
                    cur.ant.offsets[0] == ant.offsets[0] && cur.ant.offsets[1] == ant.offsets[1] &&
                    cur.ant.offsets[2] == ant.offsets[2];
  if (!same) c.changes = nextCounter(c.changes);
  c.rec.pos = pos;
  c.rec.ant = ant;
  c.valid = 1;
  pub_.publish(c);
}

bool RefParMessage::getPar(REFANT& out) const {
  Contents c;
  pub_.read(c);
  out = c.rec;
  return c.valid != 0;
}

void RefParMessage::invalidate() {
  Locker<Mutex> hold(writers_);
  std::memset(master_.rec.ant.offsets, 0, sizeof master_.rec.ant.offsets);
  std::memset(master_.rec.ant.flags, 0, sizeof master_.rec.ant.flags);
  master_.valid = 0;
  pub_.publish(master_);
}

std::int32_t RefParMessage::getChanges() const {
  Contents c;
  pub_.read(c);
  return c.changes;
}
