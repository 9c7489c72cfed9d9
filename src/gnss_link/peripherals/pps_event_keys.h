// The /par/dev/pps/ and /par/dev/event/ areas of the parameter tree: dev/pps/<a|b>/<key> and
// dev/event/<a|b>/<key> (keys listed in pps_event_keys.cpp). Both areas are shared with the
// GNSS board: an accepted set is forwarded to it by the board link.
#pragma once

class ZRNamedNode;
class Reply;

int ppscSet(const char* path, const ZRNamedNode* value);
int ppscPrint(const char* path, Reply& re);
int evcSet(const char* path, const ZRNamedNode* value);
int evcPrint(const char* path, Reply& re);
// Registers both areas with the parameter engine; false when either could not be.
bool registerPpsEventAreas();
