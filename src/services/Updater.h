#pragma once

#include <QString>

// The update server this build checks ("" when the build has none).
QString updateBaseUrl();
// The minisign public key line installers must be signed with ("" when the
// build carries none; such a build never starts an installer).
QString updatePublicKey();

// The newest published version, trimmed. Blocking (worker threads only);
// throws ApiError "Couldn't reach the update server." on any failure,
// including a blank version file, a reply past 64 bytes and a base that is
// neither https nor on this machine.
QString fetchLatestVersion(const QString &base = updateBaseUrl(), int timeoutMs = 8000);

// Whether `latest` is a version "x.y.z" strictly newer than `current`;
// anything that is not such a version is not newer.
bool isNewerVersion(const QString &latest, const QString &current);

// Downloads the installer and its ".minisig" signature into a new file in
// the temporary folder and returns its path once the signature by
// `publicKey` holds. Blocking; throws ApiError when the download or the
// write fails, and deletes the file when the signature does not hold.
QString downloadInstaller(const QString &base = updateBaseUrl(), const QString &publicKey = updatePublicKey(),
                          int timeoutMs = 10 * 60 * 1000);

// Downloads, checks and starts the Windows installer; the caller quits
// afterwards. Blocking; throws ApiError. Elsewhere there is no installer to
// start and this throws "Couldn't start the downloaded installer." after the
// download.
void applyUpdateAndRestart(const QString &base = updateBaseUrl(),
                           const QString &publicKey = updatePublicKey());

// Whether this build can run a downloaded installer here: on Windows, with
// a public key to check it against.
bool canRunInstaller(const QString &publicKey = updatePublicKey());
