// The persistent store behind the registry operations: SQLite databases, one per hive, in the
// store directory ($KEYFOLD_REGISTRY, else $XDG_DATA_HOME/keyfold/registry). One process run is
// one transaction, begun by the first write and committed by the framework's exit routine.
#pragma once

#include "platform/types.h"

// Commits the run's transaction if one is open. Returns 0 or the platform error of the commit.
LONG CommitRegistry();
// Commits, then closes every hive; every open key handle becomes invalid. The next operation
// opens the store afresh and reads KEYFOLD_REGISTRY again.
void CloseRegistryStore();
// Drops the open transaction without committing (as a run that dies would), then closes as
// CloseRegistryStore does.
void AbandonRegistryStore();
// How long the first write of a run waits for another process's transaction before it fails
// with ERROR_BUSY; 10 seconds unless changed (tests shorten it).
void SetRegistryBusyTimeout(int milliseconds);
