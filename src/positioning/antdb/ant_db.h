// The built-in antenna database: antenna types (IGS naming: the type, then after blanks up to
// column 17 the radome code) with their phase-centre offsets, looked up by name and by CMR
// antenna number. The table itself is generated at build time from the public antenna tables
// (tools/gen/antennas.py); this file is the read-only view over it.
#pragma once

#include <cstdint>

// One antenna: its name and 44 values in 0.1 mm: the L1 phase-centre offset (east, north, up),
// the L2 offset relative to L1 (east, north, up), then 19 L1 and 19 L2 elevation-dependent
// values (90 to 0 degrees) that no look-up here reads.
struct AntDbDescrElem {
  static constexpr int kValues = 44;
  const char* name;
  std::int16_t v[kValues];

  // Order of the name's first len bytes against this entry: 0 when the name sorts before it,
  // 1 when they are the same, 2 when it sorts after it.
  int compare(const char* name, int len) const;
};

struct AntDbDescrData {
  std::uint16_t count;
  const AntDbDescrElem* elems;

  // Index of the entry among [first, first + n) whose name begins `path` and ends there at "/",
  // "&" or the end (a following " NONE" radome and blanks are taken too); the longest such
  // name wins. `path` is advanced behind it. -1 (path unchanged) when none.
  int findPartial(const char*& path, int first, int n) const;
};

// Entries whose names begin with one letter: the first and how many (0 for none).
struct AntDbLetter {
  std::uint16_t first;
  std::uint16_t count;
};

struct AntDbCmrData {
  static constexpr int kTableSize = 256;
  std::uint16_t count;     // numbers that have an entry
  std::uint16_t maxIndex;  // largest entry index a number may map to; above it: no entry
  std::uint16_t tableSize;
  std::uint16_t table[kTableSize];  // entry index by CMR antenna number
};

// The constant record the database refers to.
struct AntDbData {
  std::uint32_t firstWord;
  const char* version;
  AntDbDescrData descr;
  AntDbLetter letters[26];
  AntDbCmrData cmr;
};

// The generated table.
extern const AntDbData antDbData;

// Length of `name` (len bytes) without a trailing " NONE" radome and the blanks before it;
// unchanged for names of 5 characters or fewer.
int cutNone(const char* name, int len);

// Handle to one entry, or to none.
class AntDbDescr {
 public:
  AntDbDescr() = default;
  explicit AntDbDescr(const AntDbDescrElem* e) : e_(e) {}
  bool valid() const { return e_ != nullptr; }
  // The entry's name; null for none.
  const char* id() const { return e_ ? e_->name : nullptr; }
  // Offset in metres, east, north, up: freq 0 the L1 phase centre from the antenna reference
  // point, 1 the L2 phase centre relative to L1. Zeros for no entry or another freq.
  void offset(int freq, float out[3]) const;

 private:
  const AntDbDescrElem* e_ = nullptr;
};

class AntDb {
 public:
  constexpr explicit AntDb(const AntDbData& d) : d_(d) {}

  // The entry of an antenna name; trailing blanks and a " NONE" radome are ignored, and a bare
  // type finds its entry stored with radome NONE. None for an unknown name or null.
  AntDbDescr find(const char* name) const;
  // The entry of a CMR antenna number (low 8 bits); none when the number has no entry.
  AntDbDescr find(int cmrNumber) const;
  // Index of the entry whose name begins `path` (a parameter path, where names may hold "/"
  // and "&"), advancing `path` behind the name; -1 when none.
  int findPartial(const char*& path) const;

  int count() const { return d_.descr.count; }
  AntDbDescr at(int index) const;
  int cmrCount() const { return d_.cmr.count; }
  int cmrTableSize() const { return d_.cmr.tableSize; }
  // Entry index of a CMR number (low 8 bits), -1 when it has none.
  int cmrAt(int number) const;
  // First CMR number at or after `start` that maps to entry `index`; -1 when none.
  int cmrFind(int index, int start) const;
  const char* version() const { return d_.version; }

 private:
  // Entries to search for a name beginning with `c`: its letter's range, all for a non-letter.
  void range(char c, int& first, int& n) const;
  const AntDbData& d_;
};

extern const AntDb antDataBase;
