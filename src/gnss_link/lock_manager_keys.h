// The /par/lock/ area of the parameter tree (keys listed in lock_manager_keys.cpp).
#pragma once

class ZRNamedNode;
class Reply;

int lockcSet(const char* path, const ZRNamedNode* value);
int lockcPrint(const char* path, Reply& re);
// Registers the area with the parameter engine; false when it could not.
bool registerLockArea();
