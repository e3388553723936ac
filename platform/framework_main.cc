// The process entry point belongs to the framework: it runs the application object's start-up
// and exit routines and always returns 0.
#include "platform/framework.h"

int main(int argc, char** argv) { return AfxWinMain(argc, argv); }
