// Suspension of the TCP client links: while suspended they are switched off; resuming brings
// back what was on.
#pragma once

#include "platform/hook.h"

bool get_tcpcl_suspend();
void set_tcpcl_suspend(bool on);

// Switches the TCP clients off (true) or restores them (false); filled by the TCP client links.
extern Hook<void(bool suspend)> tcpclSuspendHook;
