#pragma once

#include "Settings.h"

#include <QObject>
#include <QString>

#include <functional>

// The user's model-service key in the desktop's secret store (Secret Service
// on Linux, Keychain on macOS, Credential Manager on Windows) through
// QtKeychain, under the service "Tolvo". Where no store answers, callers keep
// the key in settings.json instead (see storeApiKey).
namespace KeyStore {

enum class Outcome { Done, NotFound, Unavailable };

struct Result
{
    Outcome outcome = Outcome::Unavailable;
    QString key;   // read: the stored key
    QString error; // Unavailable: QtKeychain's own words, for the log
};

using Callback = std::function<void(const Result &)>;

// Asynchronous: `done` runs later on the calling thread's event loop, and not
// at all once `receiver` has gone.
void read(QObject *receiver, Callback done);
void write(const QString &key, QObject *receiver, Callback done);
void remove(QObject *receiver, Callback done);

// The same, waited for in a local event loop for at most `timeoutMs` (a
// store that does not answer by then counts as unavailable).
Result readNow(int timeoutMs);
Result writeNow(const QString &key, int timeoutMs);
Result removeNow(int timeoutMs);

// Whether the last answer came from a secret store; false until one did.
bool lastSeenAvailable();

} // namespace KeyStore

// How long start-up and the command line wait for the secret store.
inline constexpr int KEYSTORE_TIMEOUT_MS = 15000;

// Completes `settings` with the key the secret store holds, or moves a key
// found in settings.json into the store (blanking it in the file) once the
// store has taken it. Saves the settings when they changed.
void resolveApiKey(Settings &settings, int timeoutMs);
// The same without waiting: `done` runs on the calling thread's event loop
// once the store has answered, and not at all once `receiver` has gone
// (`settings` must live as long as `receiver`).
void resolveApiKey(Settings &settings, QObject *receiver, std::function<void()> done);

// Stores a new key as the settings page does: in the secret store, or in
// settings.json (private to the user) where there is none. Saves the settings.
ApiKeySource storeApiKey(Settings &settings, const QString &key, int timeoutMs);
