#pragma once

#include "BuildConfig.h"

#include <QList>
#include <QString>

inline const QString APP_NAME = QStringLiteral("Tolvo");
inline const QString APP_ORG = QStringLiteral("Tolvo");
// From project(VERSION) in the top CMakeLists.txt.
inline const QString APP_VERSION = QStringLiteral(TOLVO_VERSION);

// Look-back windows in days for a team's recent form, tried in order until
// one of them yields finished matches.
inline const QList<int> RECENT_WINDOWS = {45, 120, 260};

// Names the application so that QStandardPaths resolves the per-user folders.
// Safe to call before any application object exists.
void setApplicationIdentity();
