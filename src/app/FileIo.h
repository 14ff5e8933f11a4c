#pragma once

#include <QByteArray>
#include <QString>

enum class FileAccess { Default, OwnerOnly };

// Writes a user file so that the previous version survives any failure:
// the bytes go to a temporary file beside it, which then replaces it in one
// rename. Creates the folder when needed. On failure writes one log line and
// returns false; the caller stays silent towards the user.
bool saveUserFile(const QString &path, const QByteArray &data, FileAccess access = FileAccess::Default);

// Copies a user file that could not be read as `expected` aside, as
// name.corrupt-<time>, so that the next save cannot destroy what the user had.
void keepCorruptCopy(const QString &path, const QString &expected);
