#include "settings/port_settings.h"

#include <cstring>

#include "platform/nv_block.h"
#include "platform/ports/in_port.h"
#include "platform/ports/serial_driver.h"
#include "platform/ports/serial_ports.h"
#include "platform/ram_nvm.h"

PORT_SETTINGS PortSet;

namespace {
NvBlock g_block;

bool store() { return g_block.update(&PortSet, sizeof PortSet); }

void defaultsInto(PORT_SETTINGS& s) {
  std::memset(&s, 0, sizeof s);
  for (int i = 0; i < IOP_NUM; ++i) s.imode[i] = static_cast<std::uint8_t>(InPort::factoryMode(i));
  for (auto& st : s.rsState) st = kRsDefaultState;
}

// Puts the ports that exist in their stored modes and states (those made later start in them).
void apply() {
  for (int i = 0; i < IOP_NUM; ++i) {
    if (InPort* p = InPorts::ports_[i]) p->setMode(PortSet.imode[i]);
  }
  for (int p = 0; p < kRsPortCount; ++p) rsSetState(p, PortSet.rsState[p]);
}

bool sane(const PORT_SETTINGS& s) {
  for (std::uint8_t m : s.imode) {
    if (m >= InPort::MODE_NUM) return false;
  }
  for (std::uint32_t st : s.rsState) {
    if (rsBaudOfCode(st & 0xFF) == 0) return false;
  }
  return true;
}
}  // namespace

int portSettingsMode(int port) {
  return port >= 0 && port < IOP_NUM ? PortSet.imode[port] : static_cast<int>(InPort::M_CMD);
}

void serdefs_NvAlloc() {
  {
    RamNvmLock lock;
    if (!g_block.isAllocated()) g_block.allocate(sizeof(PORT_SETTINGS), kPortSetBlockId, true, true);
    const bool read = g_block.isValid() && g_block.read(&PortSet, sizeof PortSet);
    if (!read || !sane(PortSet)) {
      // Stored values no port can take are damage too, though the checksum held.
      g_block.sayDefaultsRestored("port settings", read);
      defaultsInto(PortSet);
      store();
    }
  }
  apply();
}

void portSettingsStoreMode(int port, int mode) {
  if (port < 0 || port >= IOP_NUM || mode < 0 || mode >= InPort::MODE_NUM) return;
  if (PortSet.imode[port] == mode && g_block.isValid()) return;
  PortSet.imode[port] = static_cast<std::uint8_t>(mode);
  store();
}

bool portSettingsSetRate(int port, int baud) {
  int rs = rsPortOfIndex(port);
  int code = rsCodeOfBaud(baud);
  if (rs < 0 || rs >= kRsPortCount || code < 0) return false;
  unsigned state = (PortSet.rsState[rs] & ~0xFFu) | static_cast<unsigned>(code);
  if (!rsSetState(rs, state)) return false;
  PortSet.rsState[rs] = rsGetState(rs);
  return store();
}

int portSettingsRate(int port) {
  int rs = rsPortOfIndex(port);
  if (rs < 0 || rs >= kRsPortCount) return 0;
  return rsBaudOfCode(PortSet.rsState[rs] & 0xFF);
}

void portSettingsDefaults() {
  defaultsInto(PortSet);
  store();
  apply();
}
