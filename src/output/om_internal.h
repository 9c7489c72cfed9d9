// Shared inside the output layer only.
#pragma once

// Writes every stream's set to the set store, when one is installed.
void omPersistSets();
// Replaces every stream's set by the stored one, when a store is installed and holds one.
void omLoadStoredSets();
