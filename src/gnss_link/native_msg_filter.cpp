#include "gnss_link/native_msg_filter.h"

#include <algorithm>
#include <iterator>

namespace {

ZrtMsgNotify emptyNotify;
ZrtUnknownMsgClient emptyUnknown;

// Little-endian signed 32-bit value (times travel as 32-bit milliseconds on every target).
long le32(const char* p) {
  const auto b = [p](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])); };
  return static_cast<std::int32_t>(b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24);
}

}  // namespace

#define K(s, f) ZrtMsgFilter::KnownMsg{ZRFMessage::makeId(s[0], s[1]), f}
// clang-format off
ZrtMsgFilter::KnownMsg ZrtMsgFilter::knownMsgs[kKnownMsgs] = {
    K("~~", 1), K("||", 1), K("::", 1), K("SI", 1), K("SX", 1), K("NN", 1), K("BI", 1), K("BL", 1),
    K("si", 1), K("fi", 1), K("we", 1), K("dc", 1), K("MR", 1), K("mr", 1), K("AR", 1), K("qr", 1),
    K("SO", 1), K("__", 0), K("RC", 1), K("rc", 1), K("rx", 1), K("CC", 1), K("cc", 1), K("C1", 1),
    K("c1", 1), K("C2", 1), K("c2", 1), K("C3", 1), K("c3", 1), K("C5", 1), K("c5", 1), K("Cl", 1),
    K("cl", 1), K("R1", 1), K("r1", 1), K("1R", 1), K("1r", 1), K("R2", 1), K("r2", 1), K("2R", 1),
    K("2r", 1), K("R3", 1), K("r3", 1), K("3R", 1), K("3r", 1), K("R5", 1), K("r5", 1), K("5R", 1),
    K("5r", 1), K("Rl", 1), K("rl", 1), K("lR", 1), K("lr", 1), K("PC", 1), K("pc", 1), K("CP", 1),
    K("cp", 1), K("P1", 1), K("p1", 1), K("1P", 1), K("1p", 1), K("P2", 1), K("p2", 1), K("2P", 1),
    K("2p", 1), K("P3", 1), K("p3", 1), K("3P", 1), K("3p", 1), K("P5", 1), K("p5", 1), K("5P", 1),
    K("5p", 1), K("Pl", 1), K("pl", 1), K("lP", 1), K("lp", 1), K("DC", 1), K("D1", 1), K("D2", 1),
    K("D3", 1), K("D5", 1), K("Dl", 1), K("EC", 1), K("E1", 1), K("E2", 1), K("E3", 1), K("E5", 1),
    K("El", 1), K("CE", 1), K("1E", 1), K("2E", 1), K("3E", 1), K("5E", 1), K("lE", 1), K("FC", 1),
    K("F1", 1), K("F2", 1), K("F3", 1), K("F5", 1), K("Fl", 1), K("cm", 1), K("1m", 1), K("2m", 1),
    K("3m", 1), K("5m", 1), K("lm", 1), K("cf", 1), K("1f", 1), K("2f", 1), K("3f", 1), K("5f", 1),
    K("lf", 1), K("SC", 1), K("S2", 1), K("EL", 1), K("AZ", 1), K("SD", 1), K("rr", 1), K("TC", 1),
    K("gd", 1), K("lD", 1), K("ED", 1), K("WD", 1), K("qd", 1), K("cd", 1), K("id", 1), K("xd", 1),
    K("Rb", 1), K("IP", 1), K("GE", 1), K("GA", 1), K("UO", 1), K("IO", 1), K("NE", 1), K("NA", 1),
    K("NU", 1), K("WE", 1), K("WA", 1), K("WU", 1), K("EN", 1), K("EA", 1), K("EU", 1), K("QE", 1),
    K("QA", 1), K("QU", 1), K("QI", 1), K("CN", 1), K("CA", 1), K("CU", 1), K("CI", 1), K("IE", 1),
    K("IA", 1), K("IU", 1), K("II", 1), K("XA", 1), K("XB", 1), K("YA", 1), K("YB", 1), K("ZA", 1),
    K("ZB", 1), K("==", 1), K(">>", 3), K("PO", 1), K("Po", 1), K("VE", 1), K("PV", 1), K("PG", 1),
    K("Pg", 1), K("VG", 1), K("mp", 1), K("TO", 1), K("DO", 1), K("DP", 1), K("SG", 1), K("PS", 1),
    K("SP", 1), K("SV", 1), K("GT", 1), K("NT", 1), K("GO", 1), K("NO", 1), K("EO", 1), K("WO", 1),
    K("QO", 1), K("CO", 1), K("Io", 1), K("RD", 1), K("IO", 1), K("SS", 1), K("SE", 1), K("ST", 1),
    K("MF", 3), K("ZR", 0), K("RE", 0), K("ER", 0), K("PM", 0), K("PM", 3), K("CD", 1), K("AI", 1),
    K("EI", 1), K("PI", 0), K("HI", 0), K("SR", 1), K("HM", 1), K("@@", 0), K("DL", 3), K("XA", 1),
    K("XB", 1), K("gC", 1), K("g1", 1), K("g3", 1), K("g2", 1), K("gR", 1), K("Rm", 1), K("Ri", 1),
    K("Sp", 1), K("sj", 1), K("IQ", 1),
};
// clang-format on
#undef K

std::uint8_t ZrtMsgFilter::lookupTable[256];

void ZrtMsgFilter::prepareTable() {
  std::stable_sort(std::begin(knownMsgs), std::end(knownMsgs),
                   [](const KnownMsg& a, const KnownMsg& b) { return hash(a.id) < hash(b.id); });
  std::fill(std::begin(lookupTable), std::end(lookupTable), std::uint8_t{255});
  for (int i = 0; i < kKnownMsgs; ++i) {
    std::uint8_t& first = lookupTable[hash(knownMsgs[i].id)];
    if (first == 255) {
      first = static_cast<std::uint8_t>(i);
    } else {
      knownMsgs[i].flags |= F_CHAIN;
    }
  }
}

int ZrtMsgFilter::lookup(std::uint16_t id) {
  // Prepared once, by the first user (a filter built during static initialisation).
  static const bool prepared = (prepareTable(), true);
  (void)prepared;
  int i = lookupTable[hash(id)];
  if (i == 255) return -1;
  for (;;) {
    if (knownMsgs[i].id == id) return i;
    if (++i >= kKnownMsgs || !(knownMsgs[i].flags & F_CHAIN)) return -1;
  }
}

bool ZrtMsgFilter::h_foo(ZrtMsgClient*, const ZRFMessage&) { return true; }

ZrtMsgFilter::ZrtMsgFilter(int maxLen)
    : maxLen_(maxLen), notify_(&emptyNotify), unknown_(&emptyUnknown), builtin_(this) {
  (void)lookup(0);
  clients_[0] = &builtin_;
  handlers_[0] = &h_foo;
  nClients_ = 1;
  nHandlers_ = 1;
  setHandler(ZRFMessage::makeId('~', '~'), &builtin_, &sh_RT);
  setHandler(ZRFMessage::makeId(':', ':'), &builtin_, &sh_ET);
  setHandler(ZRFMessage::makeId('|', '|'), &builtin_, &sh_EE);
}

int ZrtMsgFilter::addClient_(ZrtMsgClient* client) {
  for (int i = 0; i < nClients_; ++i) {
    if (clients_[i] == client) return i;
  }
  if (nClients_ >= kMaxClients) return kMaxClients;
  clients_[nClients_] = client;
  return nClients_++;
}

void ZrtMsgFilter::removeClient(ZrtMsgClient* client) {
  // Index 0 is the built-in default client; the others keep their places, each slot
  // naming its client by index.
  for (int i = 1; i < nClients_; ++i) {
    if (clients_[i] != client) continue;
    for (Slot& s : slots_) {
      if (s.client == i) s = Slot{0, 0};
    }
    clients_[i] = &builtin_;
  }
}

bool ZrtMsgFilter::setHandler(std::uint16_t id, ZrtMsgClient* client, ZrtMsgHandler handler) {
  const int idx = lookup(id);
  if (idx < 0) return false;
  if (!client || !handler) {
    slots_[idx] = Slot{0, 0};
    return true;
  }
  const int ci = addClient_(client);
  if (ci >= kMaxClients) return false;
  int hi = 0;
  if (handler != handlers_[0]) {
    hi = 1;
    while (hi < nHandlers_ && handlers_[hi] != handler) ++hi;
    if (hi == nHandlers_) {
      if (nHandlers_ >= kMaxHandlers) return false;
      handlers_[nHandlers_++] = handler;
    }
  }
  slots_[idx] = Slot{static_cast<std::uint8_t>(ci), static_cast<std::uint8_t>(hi)};
  return true;
}

ZrtMsgNotify* ZrtMsgFilter::setNotify(ZrtMsgNotify* notify) {
  ZrtMsgNotify* old = notify_;
  notify_ = notify ? notify : &emptyNotify;
  return old;
}

void ZrtMsgFilter::setUnknownClient(ZrtUnknownMsgClient* client) { unknown_ = client ? client : &emptyUnknown; }

int ZrtMsgFilter::announce(const ZRFMessage& msg) {
  cur_ = msg.len <= maxLen_ ? lookup(msg.id) : -1;
  if (cur_ >= 0) return A_EXTRACT;
  if (unknown_->announce(msg)) return A_EXTRACT;
  notify_->notify(false, msg);
  return A_REJECT;
}

bool ZrtMsgFilter::checksumOk(const ZRFMessage& msg, bool hex) {
  // A body too short to hold its checksum cannot be right.
  const int ckLen = hex ? 2 : 1;
  if (msg.len < ckLen) return false;
  const int n = 5 + msg.len - ckLen;
  std::uint8_t c = 0;
  for (int i = 0; i < n; ++i) {
    c ^= static_cast<std::uint8_t>(msg.data[i]);
    c = static_cast<std::uint8_t>(c << 2 | c >> 6);
  }
  const char* ck = msg.data + n;
  if (!hex) return static_cast<std::uint8_t>(ck[0]) == c;
  static const char kHex[] = "0123456789ABCDEF";
  return ck[0] == kHex[c >> 4] && ck[1] == kHex[c & 15];
}

bool ZrtMsgFilter::message(const ZRFMessage& msg) {
  bool ok;
  const int cur = cur_;
  cur_ = -1;
  if (cur >= 0) {
    const std::uint16_t flags = knownMsgs[cur].flags;
    if ((flags & F_CHECKSUM) && !checksumOk(msg, (flags & F_HEX) != 0)) {
      notify_->notify(false, msg);
      return false;
    }
    const Slot s = slots_[cur];
    const ZrtMsgHandler h = handlers_[s.handler];
    // The epoch markers always speak for this filter's clients, whatever client 0 has become.
    ZrtMsgClient* c = (h == &sh_RT || h == &sh_ET || h == &sh_EE) ? &builtin_ : clients_[s.client];
    ok = h(c, msg);
  } else {
    ok = unknown_->message(msg);
  }
  notify_->notify(ok, msg);
  return ok;
}

bool ZrtMsgFilter::foreign(const char* data, int len, int terminator) {
  return unknown_->foreign(data, len, terminator);
}

void ZrtMsgFilter::reset() {
  cur_ = -1;
  for (int i = 0; i < nClients_; ++i) clients_[i]->reset();
  notify_->notifyReset();
  unknown_->unknownReset();
}

bool ZrtMsgFilter::sh_RT(ZrtMsgClient* client, const ZRFMessage& msg) {
  // Only the 4-byte time and its checksum make an epoch start.
  if (msg.len != 5) return true;
  ZrtMsgFilter* f = static_cast<Client*>(client)->owner();
  const long t = le32(msg.body());
  for (int i = 0; i < f->nClients_; ++i) f->clients_[i]->startOfEpoch(t);
  return true;
}

bool ZrtMsgFilter::sh_ET(ZrtMsgClient* client, const ZRFMessage& msg) {
  if (msg.len < 5) return true;
  ZrtMsgFilter* f = static_cast<Client*>(client)->owner();
  const long t = le32(msg.body());
  for (int i = 0; i < f->nClients_; ++i) f->clients_[i]->endOfEpoch(t);
  return true;
}

bool ZrtMsgFilter::sh_EE(ZrtMsgClient* client, const ZRFMessage& msg) {
  if (msg.len < 1) return true;
  ZrtMsgFilter* f = static_cast<Client*>(client)->owner();
  for (int i = 0; i < f->nClients_; ++i) f->clients_[i]->endOfEpoch(-1);
  return true;
}
