// Shared set-up of the fuzz targets: one store in a temporary directory for the whole process,
// message boxes collected in memory (every message is still formatted, at every level), and a
// way to drop whatever an input wrote so that each input starts from the same store.
#pragma once

#include <string>

#include "platform/types.h"

// Makes the temporary store directory (once) and points the store at it; turns messages on at
// level 2 with boxes going to a sink that is emptied by EndInput.
void FuzzSetUp();

// Drops the input's transaction (the store is never committed, so it never grows) and the boxes
// it showed.
void EndInput();

// The registrar's replacement "Module", as the file branch sets it.
extern const WCHAR kFuzzModulePath[];
