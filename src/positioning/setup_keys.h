// Keys that each read and write one field of an engine setup record: the satellite-processor
// setup, the correction-processor setup, and the head the LMS and KFK engine setups share (kept
// alike in both). A table row names the key, its record, the byte offset and the kind of value;
// a set changes a copy taken under the server's lock, checks it whole and puts it back, which
// stores the record's block of the settings image at once. A value refused leaves the record as
// it was.
//
// Keys are paths below their area ("elm", "alm/maxage/gps"); rows marked per system stand for
// seven keys "<name>/<system>" with the systems gps, glo, gal, sbas, qzss, comp, irnss. A print
// of a level that holds several keys lists them nested ({maxage={gps=30,...}}); a name that is a
// key of its own and also the start of longer ones (the area's "almdata" and "almdata/source")
// lists the longer ones beside it, whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "command/reply.h"
#include "command/zr_list.h"
#include "positioning/data_servers/pos_setup_types.h"

namespace SetupKeys {

enum class Rec : std::uint8_t {
  kSat,   // satellite-processor setup
  kCorr,  // correction-processor setup
  kHead,  // the head of the LMS and the KFK engine setups, written to both
  kLms,   // LMS engine setup only
};

enum class Kind : std::uint8_t {
  kBool8,    // u8: 0 off, 1 on
  kBool32,   // u32: 0 off, 1 on
  kEnum8,    // u8, one keyword of `words` (stored as `values[i]`, or the index i without values)
  kEnum16,   // i16, as kEnum8
  kEnum32,   // u32, as kEnum8
  kU8,       // integers min..max
  kU16,
  kI16,
  kF32,      // numbers min..max, printed with `decimals`
  kF64,
  kHex32,    // a bit mask, hexadecimal or decimal, bits of `allowed` only
  kHex64,    // as kHex32; per system: the system's satellites when `allowed` is 0
  kSysBit,   // per system: bit <system> of a u32, on/off
  kDatum,    // per system: a datum block, set and printed by the datum's name
  kNavType,  // per system: u8, "any" (255) or a navigation-data type of the system
};

struct Row {
  const char* name;
  Rec rec;
  std::uint16_t off;
  Kind kind;
  double min = 0;
  double max = 0;
  const char* words = nullptr;           // keywords of an enum ("a,b:c", ':' joins synonyms)
  const std::uint32_t* values = nullptr;  // stored value of each keyword; null: the keyword's index
  std::int8_t fallback = -1;             // keyword printed for a stored value of none (-1: "5")
  std::uint8_t decimals = 0;
  bool perSystem = false;
  std::uint16_t stride = 0;              // bytes from one system's field to the next
  std::uint64_t allowed = 0;
};

// A table of keys and the names of the area that are keys of others (printed and set there),
// whose longer names the table may still hold.
struct Table {
  const Row* rows;
  std::size_t count;
  const char* const* foreignLeaves = nullptr;
  std::size_t foreignCount = 0;
  // Levels of the table that another printer of the area lists, beside keys of its own (through
  // listLevel): the area's listing and a print of the level name leave them to it.
  const char* const* elsewhere = nullptr;
  std::size_t elsewhereCount = 0;
};

// A set of `path`: CMD_WRONG_1ST when the table holds no such key.
int set(const Table& t, const char* path, const ZRNamedNode* v);
// A print of `path` ("" while the area is listed): CMD_WRONG_1ST when no key lies there.
int print(const Table& t, const char* path, Reply& re);
// Lists the keys below `level` (one of the table's levels listed elsewhere) while a listing runs,
// without braces of their own: the caller's level holds them.
int listLevelOf(const Table& t, const char* level, Reply& re);

// The system names, in system order.
extern const char* const kSystemNames[7];

}  // namespace SetupKeys
