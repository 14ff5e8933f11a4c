#pragma once

#include <QStringList>

// Runs one tolvo-cli command line (without the program name) and returns the
// exit status: 0 success, 1 failure (message on stderr), 2 usage error.
int runCli(const QStringList &arguments);
