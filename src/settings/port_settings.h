// Stored port settings: the input mode of every port and the state word (speed and line type)
// of every serial port. One block, allocated first of all (the serial-port-defaults place of the
// block order) so the ports open in their stored state.
#pragma once

#include <cstdint>

#include "platform/ports/io_port_index.h"

inline constexpr std::uint16_t kPortSetBlockId = 30000;

struct PORT_SETTINGS {
  std::uint8_t imode[IOP_NUM];  // InPort::Mode per port index
  std::uint32_t rsState[6];     // serial port state words (see serial_driver.h)
  std::uint8_t reserved[60];
};
static_assert(sizeof(PORT_SETTINGS) == 128);

extern PORT_SETTINGS PortSet;

// The block-order entry: allocates, reads (or takes the defaults), and hands the stored modes
// and states to the port layer.
void serdefs_NvAlloc();
// Port layer's store hook: a port's input mode as its stored setting.
void portSettingsStoreMode(int port, int mode);
// Stores and applies the speed of a serial port (port index); false for a port without one or
// a rate the port cannot take.
bool portSettingsSetRate(int port, int baud);
int portSettingsRate(int port);
// Factory input mode of a port: the links to the GNSS board carry its native stream, every
// other port takes commands.
int portSettingsDefaultMode(int port);
// Factory defaults: every mode and state, stored and applied to the open ports.
void portSettingsDefaults();
