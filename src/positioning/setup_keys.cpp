#include "positioning/setup_keys.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/sv_id.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"

namespace SetupKeys {

const char* const kSystemNames[7] = {"gps", "glo", "gal", "sbas", "qzss", "comp", "irnss"};

namespace {

constexpr std::uint8_t kAny = 255;  // navigation-data type: any
constexpr int kNameMax = 48;

template <class T>
T get(const std::uint8_t* b, std::size_t off) {
  T v{};
  std::memcpy(&v, b + off, sizeof v);
  return v;
}
template <class T>
void put(std::uint8_t* b, std::size_t off, T v) {
  std::memcpy(b + off, &v, sizeof v);
}

// Copies of the records taken under their servers' locks (their defaults while a server holds
// none), so that the tasks reading them meanwhile never see half a change.
template <class R, class S>
R take(S& server) {
  R r{};
  if (server.Take(&r) == 0) PosSetup::setDefaults(r);
  return r;
}

std::size_t fieldOffset(const Row& r, int sys) {
  return r.perSystem && r.kind != Kind::kSysBit ? r.off + static_cast<std::size_t>(sys) * r.stride : r.off;
}

std::uint64_t systemSatellites(int sys) {
  const int n = SYS_SAT_NUM[sys];
  return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// A number of up to 64 bits, hexadecimal ("0x...") or decimal, with no bit outside `allowed`.
int readMask(const ZRNamedNode* v, std::uint64_t allowed, std::uint64_t& out) {
  if (v == nullptr || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isText()) return CMD_WRONG_2ND;
  const char* t = v->text();
  if (*t < '0' || *t > '9') return CMD_WRONG_2ND;
  // Hexadecimal after "0x", else decimal: a leading zero does not make it octal.
  const bool hex = t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
  if (hex && !std::isxdigit(static_cast<unsigned char>(t[2]))) return CMD_WRONG_2ND;
  errno = 0;
  char* end = nullptr;
  const unsigned long long x = std::strtoull(hex ? t + 2 : t, &end, hex ? 16 : 10);
  if (errno != 0 || end == t || *end != 0) return CMD_WRONG_2ND;
  if ((x & ~allowed) != 0) return CMD_OUT_OF_RANGE;
  out = x;
  return CMD_OK;
}

int enumValue(const Row& r, int index) { return r.values != nullptr ? static_cast<int>(r.values[index]) : index; }

int enumIndex(const Row& r, std::uint32_t stored) {
  int n = 1;
  for (const char* p = r.words; *p; ++p) n += *p == ',';
  for (int i = 0; i < n; ++i)
    if (static_cast<std::uint32_t>(enumValue(r, i)) == stored) return i;
  return r.fallback;
}

// Reads the value of key (r, sys) from `v` into the record bytes `b`.
int write(const Row& r, int sys, std::uint8_t* b, const ZRNamedNode* v) {
  const std::size_t off = fieldOffset(r, sys);
  switch (r.kind) {
    case Kind::kBool8:
    case Kind::kBool32:
    case Kind::kSysBit: {
      bool on = false;
      if (int rc = setBool(v, on)) return rc;
      if (r.kind == Kind::kBool8) put<std::uint8_t>(b, off, on ? 1 : 0);
      if (r.kind == Kind::kBool32) put<std::uint32_t>(b, off, on ? 1 : 0);
      if (r.kind == Kind::kSysBit) {
        std::uint32_t w = get<std::uint32_t>(b, off);
        w = on ? w | 1u << sys : w & ~(1u << sys);
        put(b, off, w);
      }
      return CMD_OK;
    }
    case Kind::kEnum8:
    case Kind::kEnum16:
    case Kind::kEnum32: {
      int i = 0;
      if (int rc = setEnum(v, i, r.words)) return rc;
      const int x = enumValue(r, i);
      if (r.kind == Kind::kEnum8) put(b, off, static_cast<std::uint8_t>(x));
      if (r.kind == Kind::kEnum16) put(b, off, static_cast<std::int16_t>(x));
      if (r.kind == Kind::kEnum32) put(b, off, static_cast<std::uint32_t>(x));
      return CMD_OK;
    }
    case Kind::kU8:
    case Kind::kU16:
    case Kind::kI16: {
      long long x = 0;
      if (int rc = setIntImpl(v, x, static_cast<long long>(r.min), static_cast<long long>(r.max))) return rc;
      if (r.kind == Kind::kU8) put(b, off, static_cast<std::uint8_t>(x));
      if (r.kind == Kind::kU16) put(b, off, static_cast<std::uint16_t>(x));
      if (r.kind == Kind::kI16) put(b, off, static_cast<std::int16_t>(x));
      return CMD_OK;
    }
    case Kind::kF32:
    case Kind::kF64: {
      double x = 0;
      if (int rc = setDouble(v, x, r.min, r.max)) return rc;
      if (r.kind == Kind::kF32) put(b, off, static_cast<float>(x));
      if (r.kind == Kind::kF64) put(b, off, x);
      return CMD_OK;
    }
    case Kind::kHex32:
    case Kind::kHex64: {
      std::uint64_t allowed = r.allowed;
      if (allowed == 0) allowed = r.perSystem ? systemSatellites(sys) : ~std::uint64_t{0};
      if (r.kind == Kind::kHex32) allowed &= 0xFFFFFFFFu;
      std::uint64_t m = 0;
      if (int rc = readMask(v, allowed, m)) return rc;
      if (r.kind == Kind::kHex32) put(b, off, static_cast<std::uint32_t>(m));
      if (r.kind == Kind::kHex64) put(b, off, m);
      return CMD_OK;
    }
    case Kind::kDatum: {
      char name[sizeof DtmList::DATUM_PARAMS_STORE::name] = {};
      if (int rc = setString(v, name, sizeof name, 1, sizeof name - 1)) return rc == CMD_OUT_OF_RANGE ? CMD_WRONG_2ND : rc;
      PosSetup::DatumBlockType d{};
      if (!PosSetup::makeDatumBlock(name, d)) return CMD_WRONG_2ND;
      std::memcpy(b + off, &d, sizeof d);
      return CMD_OK;
    }
    case Kind::kNavType: {
      int x = kAny;
      if (!(v != nullptr && v->isText() && strcasecmp(v->text(), "any") == 0)) {
        long long t = 0;
        if (int rc = setIntImpl(v, t, 0, SYS_DATA_TYPES_NUM[sys] - 1)) return rc;
        x = static_cast<int>(t);
      }
      put(b, off, static_cast<std::uint8_t>(x));
      return CMD_OK;
    }
  }
  return CMD_WRONG_1ST;
}

int read(const Row& r, int sys, const std::uint8_t* b, Reply& re) {
  const std::size_t off = fieldOffset(r, sys);
  switch (r.kind) {
    case Kind::kBool8: return reBool(re, get<std::uint8_t>(b, off) != 0);
    case Kind::kBool32: return reBool(re, get<std::uint32_t>(b, off) != 0);
    case Kind::kSysBit: return reBool(re, (get<std::uint32_t>(b, off) >> sys & 1u) != 0);
    case Kind::kEnum8: return reEnum(re, enumIndex(r, get<std::uint8_t>(b, off)), r.words);
    case Kind::kEnum16:
      return reEnum(re, enumIndex(r, static_cast<std::uint32_t>(get<std::int16_t>(b, off))), r.words);
    case Kind::kEnum32: return reEnum(re, enumIndex(r, get<std::uint32_t>(b, off)), r.words);
    case Kind::kU8: return reLong(re, get<std::uint8_t>(b, off));
    case Kind::kU16: return reLong(re, get<std::uint16_t>(b, off));
    case Kind::kI16: return reLong(re, get<std::int16_t>(b, off));
    case Kind::kF32: return reDouble(re, get<float>(b, off), r.decimals);
    case Kind::kF64: return reDouble(re, get<double>(b, off), r.decimals);
    case Kind::kHex32: re.printf("0x%X", static_cast<unsigned>(get<std::uint32_t>(b, off))); return CMD_OK;
    case Kind::kHex64:
      re.printf("0x%llX", static_cast<unsigned long long>(get<std::uint64_t>(b, off)));
      return CMD_OK;
    case Kind::kDatum: {
      PosSetup::DatumBlockType d{};
      std::memcpy(&d, b + off, sizeof d);
      char name[sizeof d.store.name + 1] = {};
      std::memcpy(name, d.store.name, sizeof d.store.name);
      return reString(re, name);
    }
    case Kind::kNavType: {
      const std::uint8_t x = get<std::uint8_t>(b, off);
      if (x == kAny) return reString(re, "any");
      return reLong(re, x);
    }
  }
  return CMD_WRONG_1ST;
}

// ---- the keys of a table -----------------------------------------------------------------------

int systemCount(const Row& r) { return r.perSystem ? SYS_NUM : 1; }

// The full name of key (r, sys).
bool keyName(const Row& r, int sys, char* out) {
  const int n = r.perSystem ? std::snprintf(out, kNameMax, "%s/%s", r.name, kSystemNames[sys])
                            : std::snprintf(out, kNameMax, "%s", r.name);
  return n > 0 && n < kNameMax;
}

const Row* findKey(const Table& t, const char* path, int& sys) {
  char name[kNameMax];
  for (std::size_t i = 0; i < t.count; ++i) {
    const Row& r = t.rows[i];
    for (int s = 0; s < systemCount(r); ++s) {
      if (keyName(r, s, name) && std::strcmp(name, path) == 0) {
        sys = s;
        return &r;
      }
    }
  }
  return nullptr;
}

bool foreignLeaf(const Table& t, const char* path) {
  for (std::size_t i = 0; i < t.foreignCount; ++i)
    if (std::strcmp(t.foreignLeaves[i], path) == 0) return true;
  return false;
}

bool elsewhere(const Table& t, const char* path) {
  for (std::size_t i = 0; i < t.elsewhereCount; ++i)
    if (std::strcmp(t.elsewhere[i], path) == 0) return true;
  return false;
}

bool isLeaf(const Table& t, const char* path) {
  int sys = 0;
  return findKey(t, path, sys) != nullptr || foreignLeaf(t, path);
}

// Whether some key's name begins with `prefix` + "/".
bool hasBelow(const Table& t, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  char name[kNameMax];
  for (std::size_t i = 0; i < t.count; ++i) {
    const Row& r = t.rows[i];
    for (int s = 0; s < systemCount(r); ++s)
      if (keyName(r, s, name) && std::strncmp(name, prefix, n) == 0 && name[n] == '/') return true;
  }
  return false;
}

int printKey(const Row& r, int sys, Reply& re) {
  switch (r.rec) {
    case Rec::kSat: {
      const auto s = take<PosSetup::SatProcessorSetupType>(PVTDataInstance.satProcessorSetup);
      return read(r, sys, s.aBytes, re);
    }
    case Rec::kCorr: {
      const auto s = take<PosSetup::CorrProcessorSetupType>(PVTDataInstance.corrProcessorSetup);
      return read(r, sys, s.aBytes, re);
    }
    case Rec::kHead:
    case Rec::kLms: {
      const auto s = take<PosSetup::LMSEngineSetupType>(PVTDataInstance.lmsEngineSetup);
      return read(r, sys, s.aBytes, re);
    }
  }
  return CMD_WRONG_1ST;
}

// The level being listed (the parser runs one command at a time).
const Table* g_table = nullptr;
char g_prefix[kNameMax] = "";

int listLevel(const char*, Reply& re);

// Lists the keys below g_prefix: a key of this level with its value; a name that opens a level
// as that level, nested; a key that is a name of its own and the start of longer ones (or such a
// name of another table) beside those longer ones, whole.
int listLevel(const char*, Reply& re) {
  const Table& t = *g_table;
  char prefix[kNameMax];
  std::memcpy(prefix, g_prefix, sizeof prefix);
  const std::size_t pn = std::strlen(prefix);
  constexpr int kMaxSeen = 64;
  char seen[kMaxSeen][kNameMax];
  int nSeen = 0;
  char name[kNameMax];
  for (std::size_t i = 0; i < t.count; ++i) {
    const Row& r = t.rows[i];
    for (int s = 0; s < systemCount(r); ++s) {
      if (!keyName(r, s, name) || std::strncmp(name, prefix, pn) != 0) continue;
      const char* rest = name + pn;
      const char* slash = std::strchr(rest, '/');
      char head[kNameMax];
      const std::size_t hn = slash != nullptr ? static_cast<std::size_t>(slash - rest) : std::strlen(rest);
      std::memcpy(head, rest, hn);
      head[hn] = 0;
      bool done = pn == 0 && elsewhere(t, head);
      for (int k = 0; k < nSeen && !done; ++k) done = std::strcmp(seen[k], head) == 0;
      if (done) continue;
      if (nSeen < kMaxSeen) std::memcpy(seen[nSeen++], head, sizeof head);
      // The name up to this level's part: a beginning of the key's own name.
      char full[kNameMax];
      std::memcpy(full, name, pn + hn);
      full[pn + hn] = 0;
      if (isLeaf(t, full)) {
        // The name's own key, then every longer key that begins with it, whole.
        int sys = 0;
        if (const Row* own = findKey(t, full, sys); own != nullptr && strcmpA("", head)) printKey(*own, sys, re);
        const std::size_t fn = std::strlen(full);
        char longer[kNameMax];
        for (std::size_t j = 0; j < t.count; ++j) {
          const Row& q = t.rows[j];
          for (int u = 0; u < systemCount(q); ++u) {
            if (!keyName(q, u, longer) || std::strncmp(longer, full, fn) != 0 || longer[fn] != '/') continue;
            if (strcmpA("", longer + pn)) printKey(q, u, re);
          }
        }
        continue;
      }
      if (strncmpA("", head) == nullptr) continue;
      std::memcpy(g_prefix, name, pn + hn + 1);  // with the slash that follows the part
      g_prefix[pn + hn + 1] = 0;
      reSub(listLevel, "", re);
      std::memcpy(g_prefix, prefix, sizeof prefix);
    }
  }
  return CMD_OK;
}

int listFrom(const Table& t, const char* prefix, Reply& re, bool braces) {
  const Table* savedTable = g_table;
  char saved[kNameMax];
  std::memcpy(saved, g_prefix, sizeof saved);
  g_table = &t;
  std::snprintf(g_prefix, sizeof g_prefix, "%s", prefix);
  const int rc = braces ? reSub(listLevel, "", re) : listLevel("", re);
  g_table = savedTable;
  std::memcpy(g_prefix, saved, sizeof saved);
  return rc;
}

}  // namespace

int set(const Table& t, const char* path, const ZRNamedNode* v) {
  int sys = 0;
  const Row* r = findKey(t, path, sys);
  if (r == nullptr) return CMD_WRONG_1ST;
  PVTDataType& d = PVTDataInstance;
  switch (r->rec) {
    case Rec::kSat: {
      auto s = take<PosSetup::SatProcessorSetupType>(d.satProcessorSetup);
      if (int rc = write(*r, sys, s.aBytes, v)) return rc;
      d.satProcessorSetup.Put(&s);
      return CMD_OK;
    }
    case Rec::kCorr: {
      auto s = take<PosSetup::CorrProcessorSetupType>(d.corrProcessorSetup);
      if (int rc = write(*r, sys, s.aBytes, v)) return rc;
      d.corrProcessorSetup.Put(&s);
      return CMD_OK;
    }
    case Rec::kLms: {
      auto s = take<PosSetup::LMSEngineSetupType>(d.lmsEngineSetup);
      if (int rc = write(*r, sys, s.aBytes, v)) return rc;
      d.lmsEngineSetup.Put(&s);
      return CMD_OK;
    }
    case Rec::kHead: {
      auto lms = take<PosSetup::LMSEngineSetupType>(d.lmsEngineSetup);
      auto kfk = take<PosSetup::KFKEngineSetupType>(d.kfkEngineSetup);
      if (int rc = write(*r, sys, lms.aBytes, v)) return rc;
      if (int rc = write(*r, sys, kfk.aBytes, v)) return rc;
      // Both blocks change in one hold of the image, so no saved image has one without the other.
      RamNvmLock image;
      d.lmsEngineSetup.Put(&lms);
      d.kfkEngineSetup.Put(&kfk);
      return CMD_OK;
    }
  }
  return CMD_WRONG_1ST;
}

int print(const Table& t, const char* path, Reply& re) {
  if (*path == 0) return parListing() ? listFrom(t, "", re, false) : CMD_WRONG_1ST;
  int sys = 0;
  if (const Row* r = findKey(t, path, sys)) return printKey(*r, sys, re);
  if (foreignLeaf(t, path) || elsewhere(t, path) || !hasBelow(t, path)) return CMD_WRONG_1ST;
  char prefix[kNameMax];
  const int n = std::snprintf(prefix, sizeof prefix, "%s/", path);
  if (n <= 0 || n >= static_cast<int>(sizeof prefix)) return CMD_WRONG_1ST;
  return listFrom(t, prefix, re, true);
}

int listLevelOf(const Table& t, const char* level, Reply& re) {
  if (!parListing() || !elsewhere(t, level)) return CMD_WRONG_1ST;
  char prefix[kNameMax];
  const int n = std::snprintf(prefix, sizeof prefix, "%s/", level);
  if (n <= 0 || n >= static_cast<int>(sizeof prefix)) return CMD_WRONG_1ST;
  return listFrom(t, prefix, re, false);
}

}  // namespace SetupKeys
