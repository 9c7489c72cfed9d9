// The wiring table: every hook of every layer, with what src/main puts into it. A hook whose
// filler is built is wired (with the number of functions it gets); one meant for a component
// not built yet is listed as such, so that the work that builds it turns its row on.
#pragma once

struct HookRow {
  const char* owner;     // layer that owns the hook
  const char* name;      // its name in the hook registry
  const void* hook;      // the hook object
  int fills;             // functions src/main puts in (0 for a hook left empty)
  const char* notBuilt;  // the component that will fill it; null when wired
};

int hookTableSize();
const HookRow& hookTableRow(int i);

// Walks the hook registry and the table and reports each mismatch through `say` (one line,
// without a line end): a registered hook missing from the table, a row with no registered
// hook, a wired hook that holds fewer or more functions than its row says, a hook filled
// whose component is not built. Returns the number of mismatches.
int hookWiringCheck(void (*say)(const char* line));
