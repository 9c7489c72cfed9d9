// The output datum, grid and geoid keys below /par/pos/:
//   datum          output datum by its name in the datum list ("W84"); "GOT" the received one
//   grid/type      none, utm, ups, nat (national grid), loc (local grid), prj (user projection),
//                  got (the projection received in the correction stream)
//   grid/prj       the user projection: "none" or {TYPE,p1,...} (angles in degrees)
//   grid/loc/prj   the local grid's stereographic projection {lat0,lon0,k0,fn,fe}
//   grid/loc/par   the local grid {uo,vo,k,alpha,t1,t2,h0}
//   grid/zone      national grid zone: 0 (none), 1, 2, 3, 117
//   geoid/fixed    a fixed geoid undulation replaces the geoid model
//   geoid/und      that undulation, m
//   geoid/file     geoid file of the log store replacing the built-in grid ("" the built-in one)
#pragma once

#include "command/reply.h"
#include "command/zr_list.h"

// Set and print of the keys above (path below "pos/"); CMD_WRONG_1ST for another path.
int outputGridKeysSet(const char* path, const ZRNamedNode* value);
int outputGridKeysPrint(const char* path, Reply& re);
// After a load of the settings: the grid made live again.
void outputGridKeysSettingsLoaded();

// Loads the named geoid file of the log store under the store's guard; 0, or the command result
// code: 15 no such file, 16 not a geoid file, 35 not a file name. "" puts the built-in grid into
// use. Nothing changes on failure.
int geoidLoadNamed(const char* name);
