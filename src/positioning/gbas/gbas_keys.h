// The GBAS settings of the correction setup, area gbas/ of the parameter tree. Each set stores
// the setup record (its own block of the settings image); init,/par/ brings the factory values
// back with the rest of the setup.
//
//   format   off, do217, do246 (factory): the message format a port in mode gbas frames
//   mode     id (factory), path, rsds: how the ground station whose corrections are used is chosen
//            (its GBAS identifier or, with additional data, its reference station data selector;
//            the approach's reference path data selector; the reference station data selector)
//   id       the ground station's identifier, up to 4 of A-Z, 0-9 and space; empty for none
//   rsds     the reference station data selector 0..255 (factory 0)
//   rpds     the approach's reference path data selector 0..255, 255 none (factory 0)
//   ephcrc   check (factory) or waive: whether a correction needs the ephemeris CRC the station
//            sent to equal the receiver's
#pragma once

class ZRNamedNode;
class Reply;

int gbascSet(const char* path, const ZRNamedNode* value);
int gbascPrint(const char* path, Reply& re);
bool registerGbasArea();
