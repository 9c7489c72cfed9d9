#include "navigation_data/sv_id.h"

#include "platform/exit.h"

namespace {

// The tables must describe contiguous slot ranges; a typo here would hand two satellites one
// slot.
constexpr bool basesAreContiguous(const int (&num)[SYS_NUM], const int (&base)[SYS_NUM], int total) {
  int next = 0;
  for (int s = 0; s < SYS_NUM; ++s) {
    if (base[s] != next) return false;
    next += num[s];
  }
  return next == total;
}
static_assert(basesAreContiguous(SYS_SI_NUM, SYS_SI_BASE_NUM, SYS_SI_TOTAL));
static_assert(basesAreContiguous(SYS_SAT_NUM, SYS_SAT_BASE_NUM, SYS_SAT_TOTAL));

bool slotToSystem(int slot, const int (&num)[SYS_NUM], const int (&base)[SYS_NUM], int total,
                  int& system, int& index) {
  if (slot < 0 || slot >= total) return false;
  for (int s = SYS_NUM - 1; s >= 0; --s) {
    if (slot >= base[s]) {
      system = s;
      index = slot - base[s];
      return index < num[s];
    }
  }
  return false;
}

}  // namespace

bool SvIdType::find_SiSlot(int& slot) const {
  if (!isValidSi()) return false;
  slot = SYS_SI_BASE_NUM[sys] + si;
  return true;
}

bool SvIdType::find_SatSlot(int& slot) const {
  if (!isValidSat()) return false;
  slot = SYS_SAT_BASE_NUM[sys] + sat;
  return true;
}

int SvIdType::get_SiSlot() const {
  int slot = 0;
  if (!find_SiSlot(slot)) rxExit(kExitBadSiIdentity);
  return slot;
}

int SvIdType::get_SatSlot() const {
  int slot = 0;
  if (!find_SatSlot(slot)) rxExit(kExitBadSatIdentity);
  return slot;
}

bool svIdFromSiNumber(int system, int number, SvIdType& out) {
  if (system < 0 || system >= SYS_NUM) return false;
  if (number < SYS_SI_MIN[system] || number > SYS_SI_MAX[system]) return false;
  SvIdType id;
  id.sys = static_cast<std::uint8_t>(system);
  id.si = static_cast<std::uint8_t>(number - SYS_SI_MIN[system]);
  // Outside GLONASS both numberings come from the PRN.
  if (system != kSysGlonass) id.sat = static_cast<std::uint8_t>(number - SYS_SAT_MIN[system]);
  out = id;
  return true;
}

bool svIdFromSatNumber(int system, int number, SvIdType& out) {
  if (system < 0 || system >= SYS_NUM) return false;
  if (number < SYS_SAT_MIN[system] || number > SYS_SAT_MAX[system]) return false;
  SvIdType id;
  id.sys = static_cast<std::uint8_t>(system);
  id.sat = static_cast<std::uint8_t>(number - SYS_SAT_MIN[system]);
  if (system != kSysGlonass) id.si = static_cast<std::uint8_t>(number - SYS_SI_MIN[system]);
  out = id;
  return true;
}

bool svIdFromSiSlot(int slot, SvIdType& out) {
  int s = 0, i = 0;
  if (!slotToSystem(slot, SYS_SI_NUM, SYS_SI_BASE_NUM, SYS_SI_TOTAL, s, i)) return false;
  return svIdFromSiNumber(s, i + SYS_SI_MIN[s], out);
}

bool svIdFromSatSlot(int slot, SvIdType& out) {
  int s = 0, i = 0;
  if (!slotToSystem(slot, SYS_SAT_NUM, SYS_SAT_BASE_NUM, SYS_SAT_TOTAL, s, i)) return false;
  return svIdFromSatNumber(s, i + SYS_SAT_MIN[s], out);
}
