#pragma once

#include <QString>

// Installs the Qt message handler and writes the start banner.
void initLogging();

// Routes Qt's own messages into the log without writing a banner.
void installLogMessageHandler();

// Appends one time-stamped line to tolvo.log. Thread-safe; never throws; a
// line that cannot be written is lost silently.
void appLog(const QString &text);

// The last n lines of the log joined with "\n"; empty when n < 1 or the file
// cannot be read.
QString readRecentLog(int n);
