// Who this receiver is: type name, firmware version, serial number, receiver ID and host name.
// The texts are filled once at start (identityInitOnce) and read freely afterwards.
#pragma once

// Receiver-type name (the receiver type of station descriptions).
extern const char igsRcvName[];
// Firmware version text.
extern const char vernum[];
// Receiver identification text, up to 31 characters; empty when unknown.
extern char sernum[32];
// Receiver ID; empty when unknown.
extern char rcvId[32];
// Host name of the system the program runs on.
extern char rcvHostName[64];

// Reads the serial number and the receiver ID (kept by the system in /etc/rxengine/serial-number
// and /etc/rxengine/receiver-id, first line each) and the host name.
void identityInitOnce();
