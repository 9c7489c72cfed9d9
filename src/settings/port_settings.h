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

// The block-order entry: allocates, reads (or takes the defaults), and puts the open ports in
// their stored modes and states.
void serdefs_NvAlloc();
// A port's stored input mode (InPort::Mode), the one record of it: the mode a port is made in
// (the port layer asks through InPorts::storedMode_) and the mode of a port not open. Command
// mode out of range.
int portSettingsMode(int port);
// Stores a port's input mode as its setting; the image is written only when it changes.
void portSettingsStoreMode(int port, int mode);
// Stores and applies the speed of a serial port (port index); false for a port without one or
// a rate the port cannot take.
bool portSettingsSetRate(int port, int baud);
int portSettingsRate(int port);
// Factory defaults: every mode and state, stored and applied to the open ports.
void portSettingsDefaults();
