// The /par/terrastar/ keys of the L-band service: beams, scanning, stations, debug switches and
// the status the GNSS board reports.
#pragma once

// Registers the "terrastar" area with the parameter tree; false when it could not.
bool registerTerrastarArea();
