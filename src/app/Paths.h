#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// Each folder function creates its folder (with parents) on every call;
// a failure to create it shows up later, when a file in it cannot be written.
QDir configDir();
QDir dataDir();
QDir cacheDir();
QDir crestCacheDir();

QString settingsFilePath();
QString favoritesFilePath();
QString historyFilePath();
// tolvo.db: the prediction history (history.json is only read once, to move in).
QString historyDatabasePath();
QString chatsFilePath();
QString logFilePath();

// A read-only file shipped with the program, e.g. assetPath({"sounds", "goal.wav"}):
// in "assets" beside the executable, else in "../share/tolvo/assets" from it
// (an installed program), else beside the executable itself.
QString assetPath(const QStringList &parts);
