// The output position filter's keys under /par/pos/filt/:
//   mode     output filtering on/off (stored with the receiver settings)
//   reset    set to "yes": the filter starts again
//   weight   adaptive weight on/off
//   num      count cap, 1 and more (30)
//   maxdel   reset gap, 1..3600 s (10)
//   type     the filter kind, "stat"
//   spdmax   speed threshold of the static pass-through, m/s, printed with two decimals (2.00)
//   spdnum   length of the speed filter, 1 and more (5)
//   spdmode  static pass-through on/off
// All but mode live in the filter itself and return to their defaults at init,/par/ and at
// each start.
#pragma once

// Registers the area "pos/filt"; false when the prefix is taken or the table full.
bool registerPosFiltArea();
