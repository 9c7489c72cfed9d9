// The receiver's antenna settings that the base station sends with its reference station, under
// /par/ant/:
//   serial  the antenna's serial number, 0..31 characters (empty: none)
//   setup   its setup id, 0..255 (0: none)
// Stored with the receiver settings; init,/par/ brings back the empty serial number and 0.
#pragma once

// Registers the area "ant"; false when the prefix is taken or the table full.
bool registerAntennaArea();
