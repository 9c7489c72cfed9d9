// Value readers of "set" (one typed argument of the parsed command into a target, written only
// on success) and value printers of "print" (one value in reply format). Readers return 0,
// 5 (out of range), 6 (value missing) or 7 (not a value of that kind).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "command/reply.h"
#include "command/result_codes.h"
#include "command/zr_list.h"

int setIntImpl(const ZRNamedNode* v, long long& out, long long min, long long max);

template <class T>
int setInt(const ZRNamedNode* v, T& dst, long long min, long long max) {
  static_assert(std::numeric_limits<T>::is_integer);
  long long x = 0;
  int rc = setIntImpl(v, x, min, max);
  if (rc) return rc;
  if (x < static_cast<long long>(std::numeric_limits<T>::min()) ||
      (x > 0 && static_cast<unsigned long long>(x) >
                    static_cast<unsigned long long>(std::numeric_limits<T>::max())))
    return CMD_OUT_OF_RANGE;
  dst = static_cast<T>(x);
  return CMD_OK;
}

// Words "no:n:off,yes:y:on" (any case).
int setBool(const ZRNamedNode* v, bool& dst);
int setBool(const ZRNamedNode* v, std::uint8_t& dst);
// One keyword of a comma list, synonyms joined by ':' ("off,on:yes"); dst = the item's index.
int setEnum(const ZRNamedNode* v, int& dst, const char* keywords);
// Text of minLen..maxLen characters into dst (size dstSize, always terminated).
int setString(const ZRNamedNode* v, char* dst, std::size_t dstSize, int minLen, int maxLen);
int setFloat(const ZRNamedNode* v, float& dst, double min, double max);
int setDouble(const ZRNamedNode* v, double& dst, double min, double max);
// A list of bit numbers "{0,5,63}" (or one number); each must be in `allowed`.
int setBits64(const ZRNamedNode* v, std::uint64_t& dst, std::uint64_t allowed);
// A port name ("dev/ser/b", "/dev/ser/b", or "cur/term" for the sending port); dst = its index.
int setPort(const ZRNamedNode* v, int& dst);

int reLong(Reply& re, long v);
int reShort(Reply& re, short v);
// "on" or "off".
int reBool(Reply& re, bool v);
// Index shown as its keyword (the first of its synonyms); 5 when out of the list.
int reEnum(Reply& re, int index, const char* keywords);
int reString(Reply& re, const char* text);
int reDouble(Reply& re, double v, int decimals);
// Three components selected by the remaining path: all of them as "{x=..,y=..,z=..}" for an
// empty path, one bare value for its name, 3 otherwise. XYZ in metres; BLH latitude and
// longitude given in radians and printed in degrees, height in metres; ENU in metres.
int reXYZ(Reply& re, const char* path, double x, double y, double z);
int reBLH(Reply& re, const char* path, double lat, double lon, double h);
int reENU(Reply& re, const char* path, double e, double n, double u);
// The set bit numbers as a list "{0,5,63}".
int reBits64(Reply& re, std::uint64_t v);
int reLongHex(Reply& re, unsigned long v);
