#include "positioning/antdb/antdb_params.h"

#include <cstdio>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "positioning/antdb/ant_db.h"

namespace {
// Width an entry's name is padded to when it names a child in a listing.
constexpr int kListNameWidth = 20;
// Digits a CMR number may have in a path (the table takes its low 8 bits).
constexpr int kMaxCmrDigits = 9;

// The entry or CMR number whose subtree is printed (the parser runs one command at a time).
int g_entry = -1;
int g_cmrNumber = -1;

int printOffsets(Reply& re, const char* rest, const AntDbDescr& d, int freq) {
  float v[3];
  d.offset(freq, v);
  return reENU(re, rest, v[0], v[1], v[2]);
}

// A CMR number that opens the path ("123" or "123/..."); false when the path does not begin so.
bool readCmrNumber(const char*& p, int& number) {
  int n = 0, digits = 0;
  while (*p >= '0' && *p <= '9') {
    if (++digits > kMaxCmrDigits) return false;
    n = n * 10 + (*p++ - '0');
  }
  if (digits == 0 || (*p != 0 && *p != '/')) return false;
  number = n;
  if (*p == '/') ++p;
  return true;
}

// The entry of a name that opens the path; `p` is left behind it and its "/". -1 when none or
// when the name is followed by anything but "/" or the end.
int readName(const char*& p) {
  const char* q = p;
  const int index = antDataBase.findPartial(q);
  if (index < 0 || *q == '&') return -1;
  if (*q == '/') ++q;
  p = q;
  return index;
}

// Each entry, named by its name padded to the list width, printed by `fn` (a subtree of its own
// when `sub`).
int listEntries(Reply& re, ParPrintFn fn, bool sub) {
  char name[kListNameWidth + 1 + 32];
  for (int i = 0; i < antDataBase.count() && !re.overflow(); ++i) {
    std::snprintf(name, sizeof name, "%-*s", kListNameWidth, antDataBase.at(i).id());
    if (!strcmpA("", name)) break;
    g_entry = i;
    sub ? reSub(fn, "", re) : fn("", re);
  }
  return CMD_OK;
}

// Each CMR number that has an entry, printed by `fn` (a subtree of its own when `sub`).
int listCmrNumbers(Reply& re, ParPrintFn fn, bool sub) {
  char name[16];
  for (int n = 0; n < antDataBase.cmrTableSize() && !re.overflow(); ++n) {
    if (antDataBase.cmrAt(n) < 0) continue;
    std::snprintf(name, sizeof name, "%d", n);
    if (!strcmpA("", name)) break;
    g_cmrNumber = n;
    sub ? reSub(fn, "", re) : fn("", re);
  }
  return CMD_OK;
}

int pair(Reply& re, const char* name, int number) {
  re.printf("{%s,", name ? name : "");
  if (number >= 0) re.printf("%d", number);
  re.put('}');
  return CMD_OK;
}

// Below id/<name>: its first CMR number (empty for none) and its offsets.
int entryPrint(const char* p, Reply& re) {
  const AntDbDescr d = antDataBase.at(g_entry);
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "cmr")) {
    const int n = antDataBase.cmrFind(g_entry, 0);
    if (n >= 0) re.printf("%d", n);
    rc = CMD_OK;
  }
  if (const char* r = strncmpA(p, "l1_arp")) rc = printOffsets(re, r, d, 0);
  if (const char* r = strncmpA(p, "l2_l1")) rc = printOffsets(re, r, d, 1);
  return rc;
}

// Below cmr/<number>: the entry's name and offsets.
int cmrEntryPrint(const char* p, Reply& re) {
  const AntDbDescr d = antDataBase.find(g_cmrNumber);
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "id")) rc = reString(re, d.id());
  if (const char* r = strncmpA(p, "l1_arp")) rc = printOffsets(re, r, d, 0);
  if (const char* r = strncmpA(p, "l2_l1")) rc = printOffsets(re, r, d, 1);
  return rc;
}

int entryListPrint(const char*, Reply& re) { return listEntries(re, entryPrint, true); }
int cmrListPrint(const char*, Reply& re) { return listCmrNumbers(re, cmrEntryPrint, true); }

int idPrint(const char* p, Reply& re) {
  if (!*p) return reSub(entryListPrint, "", re);
  const int index = readName(p);
  if (index < 0) return CMD_WRONG_1ST;
  g_entry = index;
  return reSub(entryPrint, p, re);
}

int cmrPrint(const char* p, Reply& re) {
  if (!*p) return reSub(cmrListPrint, "", re);
  int number = 0;
  if (!readCmrNumber(p, number) || !antDataBase.find(number).valid()) return CMD_WRONG_1ST;
  g_cmrNumber = number;
  return reSub(cmrEntryPrint, p, re);
}

int idPairPrint(const char*, Reply& re) { return pair(re, antDataBase.at(g_entry).id(), antDataBase.cmrFind(g_entry, 0)); }
int cmrPairPrint(const char*, Reply& re) { return pair(re, antDataBase.find(g_cmrNumber).id(), g_cmrNumber); }
int idPairListPrint(const char*, Reply& re) { return listEntries(re, idPairPrint, false); }
int cmrPairListPrint(const char*, Reply& re) { return listCmrNumbers(re, cmrPairPrint, false); }

int idsIdPrint(const char* p, Reply& re) {
  if (!*p) return reSub(idPairListPrint, "", re);
  const int index = readName(p);
  if (index < 0 || *p) return CMD_WRONG_1ST;
  g_entry = index;
  return idPairPrint("", re);
}

int idsCmrPrint(const char* p, Reply& re) {
  if (!*p) return reSub(cmrPairListPrint, "", re);
  int number = 0;
  if (!readCmrNumber(p, number) || *p || !antDataBase.find(number).valid()) return CMD_WRONG_1ST;
  g_cmrNumber = number;
  return cmrPairPrint("", re);
}

void countsPrint(const char* p, Reply& re, int& rc) {
  if (strcmpA(p, "id&count")) rc = reLong(re, antDataBase.count());
  if (strcmpA(p, "cmr&count")) rc = reLong(re, antDataBase.cmrCount());
}

int idsPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  countsPrint(p, re, rc);
  if (const char* r = strncmpA(p, "id")) rc = idsIdPrint(r, re);
  if (const char* r = strncmpA(p, "cmr")) rc = idsCmrPrint(r, re);
  return rc;
}
}  // namespace

int antdbcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  countsPrint(p, re, rc);
  if (strcmpA(p, "ver")) rc = reString(re, antDataBase.version());
  if (const char* r = strncmpA(p, "id")) rc = idPrint(r, re);
  if (const char* r = strncmpA(p, "cmr")) rc = cmrPrint(r, re);
  if (const char* r = strncmpA(p, "ids")) rc = reSub(idsPrint, r, re);
  return rc;
}

// Nothing of the database can be changed.
int antdbcSet(const char*, const ZRNamedNode*) { return CMD_READ_ONLY; }

// Printed only when named: the whole tree's print leaves the table out.
bool registerAntDbArea() { return parRegisterArea("antdb", antdbcSet, antdbcPrint, false); }
