// A key set and printed through the parameter engine as a command line would reach it: the
// value is the third field of a parsed "set" line, the path is below /par/.
#pragma once

#include <string>

#include "command/param_engine.h"
#include "command/reply.h"
#include "command/result_codes.h"
#include "command/zr_list.h"

namespace partest {

// The result code of `set,/par/<path>,<value>`.
inline int set(const std::string& path, const std::string& value) {
  static ZRList l;
  const std::string line = "set,/par/x," + value;
  if (int rc = l.parse(line.c_str(), static_cast<int>(line.size()))) return rc;
  return parSet(path.c_str(), l.at(2));
}

// The printed text of `print,/par/<path>`, or "ER<code>".
inline std::string print(const std::string& path) {
  static Reply re;
  re.clear();
  const int rc = parPrint(path.c_str(), re);
  if (rc != CMD_OK) return "ER" + std::to_string(rc);
  return std::string(re.text(), static_cast<std::size_t>(re.textLen()));
}

// `area` with `/key` unless the key is empty (the area itself).
inline std::string under(const std::string& area, const std::string& key) {
  return key.empty() ? area : area + "/" + key;
}

}  // namespace partest
