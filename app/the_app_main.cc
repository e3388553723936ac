// The one application object of the program.
#include "app/script_app.h"

CScriptApp theApp;
