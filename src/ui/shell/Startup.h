#pragma once

// The program's start-up: log, application object, legacy data, context,
// window, event loop. Returns the process exit code.
int qMain(int argc, char **argv);
