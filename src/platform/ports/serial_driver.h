// Serial and USB ports. Every port has an 8 KiB transmit ring between its writers and its
// output task, so a slow or absent reader never holds up a writer: what does not fit is
// dropped. On the host the ports are pseudo-terminals published as links in the
// run directory, unless the system's port map names a device.
#pragma once

#include <cstdint>

// Serial port numbers: 0..3 the serial ports A..D, 4 the USB port, 5 the power controller's line.
constexpr int kRsPortCount = 6;
constexpr int kRsUsbPort = 4;
constexpr int kRsTxRingSize = 8192;

// State word: low byte the speed code (index into the baud-rate table), the other bits (line
// settings of the target's driver) kept as given.
constexpr unsigned kRsDefaultState = 7;  // 115200 baud
int rsBaudOfCode(unsigned code);  // 0 for an unknown code
int rsCodeOfBaud(int baud);       // -1 for an unknown rate

// Reads up to n bytes, waiting at most `timeout` ticks; the count read (0 when nothing came).
int rsRead(int port, void* buf, int n, int timeout, int flag);
// Queues all n bytes in the port's transmit ring, waiting at most `timeout` ticks for room;
// returns n, or 0 when they did not fit (then they are dropped).
int rsWrite(int port, const void* data, int n, int timeout, int flag);
unsigned rsGetState(int port);
bool rsSetState(int port, unsigned state);
// Selects RS-232 (false) or RS-422 (true); only ports 2 (C) and 3 (D) have the choice. The line
// drivers are switched by their GPIO lines (rsInitCDPorts); the host has nothing more to switch,
// so only the port's state is applied again.
bool rsSetPortType(int port, bool rs422);
// Waits until the transmit ring has gone to the device; false on timeout.
bool rsDrain(int port, int timeout);
bool rsIsOpen(int port);

// Opens every port: a device of the port map (host/dev/vorla/prt/<n>), else on the host a
// pseudo-terminal in raw mode published as its link; ports listed under
// host/etc/vorla/dbg/prt/ are disabled. Returns the number of open ports.
int rsInitOnce();
// Starts the output task POxT of every open port; false when one failed to start.
bool rsOutProcInit(int priority);
