#pragma once

#include <QString>

// The update server this build checks ("" when the build has none).
QString updateBaseUrl();

// The newest published version, trimmed. Blocking (worker threads only);
// throws ApiError "Couldn't reach the update server." on any failure,
// including a blank version file.
QString fetchLatestVersion(const QString &base = updateBaseUrl());

// Downloads the installer into the temporary folder and returns its path.
// Blocking; throws ApiError when the download or the write fails.
QString downloadInstaller(const QString &base = updateBaseUrl());

// Downloads and starts the Windows installer; the caller quits afterwards.
// Blocking; throws ApiError. Elsewhere there is no installer to start and
// this throws "Couldn't start the downloaded installer." after the download.
void applyUpdateAndRestart(const QString &base = updateBaseUrl());

// Whether this platform can run the downloaded installer at all.
bool canRunInstaller();

// How long the version check waits; tests shorten it.
void setVersionCheckTimeoutMs(int ms);
