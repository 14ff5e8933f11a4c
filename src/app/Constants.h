#pragma once

#include <QList>
#include <QString>

inline const QString APP_NAME = QStringLiteral("Tolvo");
inline const QString APP_ORG = QStringLiteral("Tolvo");
inline const QString APP_VERSION = QStringLiteral("1.5.5");

// Look-back windows in days for a team's recent form, tried in order until
// one of them yields finished matches.
inline const QList<int> RECENT_WINDOWS = {45, 120, 260};

// Names the application so that QStandardPaths resolves the per-user folders.
// Safe to call before any application object exists.
void setApplicationIdentity();
