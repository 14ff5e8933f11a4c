#include "KeyStore.h"

#include "Constants.h"
#include "Log.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <atomic>
#include <memory>

namespace {

const QString KEY_NAME = QStringLiteral("openai_api_key");

std::atomic<bool> s_available{false};

KeyStore::Result resultOf(QKeychain::Job *job)
{
    KeyStore::Result result;
    switch (job->error()) {
    case QKeychain::NoError:
        result.outcome = KeyStore::Outcome::Done;
        if (auto *reading = qobject_cast<QKeychain::ReadPasswordJob *>(job))
            result.key = reading->textData();
        break;
    case QKeychain::EntryNotFound:
        result.outcome = KeyStore::Outcome::NotFound;
        break;
    default:
        // No bus, no Secret Service, a refused or locked store: all mean the
        // key cannot live there on this machine now.
        result.outcome = KeyStore::Outcome::Unavailable;
        result.error = job->errorString();
        break;
    }
    s_available.store(result.outcome != KeyStore::Outcome::Unavailable);
    return result;
}

void start(QKeychain::Job *job, QObject *receiver, KeyStore::Callback done)
{
    job->setAutoDelete(true);
    job->setKey(KEY_NAME);
    QPointer<QObject> guard(receiver);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [guard, done = std::move(done)](QKeychain::Job *finished) {
                         const KeyStore::Result result = resultOf(finished);
                         if (result.outcome == KeyStore::Outcome::Unavailable)
                             appLog(QStringLiteral("No system keychain: %1").arg(result.error));
                         if (guard && done)
                             done(result);
                     });
    job->start();
}

// Runs one job to its end, or until `timeoutMs` passes.
KeyStore::Result wait(const std::function<void(QObject *, KeyStore::Callback)> &run, int timeoutMs)
{
    QEventLoop loop;
    auto result = std::make_shared<KeyStore::Result>();
    auto answered = std::make_shared<bool>(false);
    // The receiver dies with this call, so a store that answers after the
    // time limit finds nobody to tell.
    QObject receiver;
    run(&receiver, [&loop, result, answered](const KeyStore::Result &r) {
        *result = r;
        *answered = true;
        loop.quit();
    });
    if (!*answered) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!*answered)
        result->error = QStringLiteral("no answer within %1 ms").arg(timeoutMs);
    return *result;
}

} // namespace

namespace KeyStore {

void read(QObject *receiver, Callback done)
{
    start(new QKeychain::ReadPasswordJob(APP_NAME), receiver, std::move(done));
}

void write(const QString &key, QObject *receiver, Callback done)
{
    auto *job = new QKeychain::WritePasswordJob(APP_NAME);
    job->setTextData(key);
    start(job, receiver, std::move(done));
}

void remove(QObject *receiver, Callback done)
{
    start(new QKeychain::DeletePasswordJob(APP_NAME), receiver, std::move(done));
}

Result readNow(int timeoutMs)
{
    return wait([](QObject *r, Callback d) { read(r, std::move(d)); }, timeoutMs);
}

Result writeNow(const QString &key, int timeoutMs)
{
    return wait([&key](QObject *r, Callback d) { write(key, r, std::move(d)); }, timeoutMs);
}

Result removeNow(int timeoutMs)
{
    return wait([](QObject *r, Callback d) { remove(r, std::move(d)); }, timeoutMs);
}

bool lastSeenAvailable()
{
    return s_available.load();
}

} // namespace KeyStore

void resolveApiKey(Settings &settings, QObject *receiver, std::function<void()> done)
{
    const auto finish = [done]() {
        if (done)
            done();
    };
    if (!settings.file_api_key.isEmpty()) {
        // A key typed into the file by hand, or kept there while no store
        // answered: it moves as soon as a store takes it.
        const QString key = settings.file_api_key;
        KeyStore::write(key, receiver, [&settings, key, finish](const KeyStore::Result &result) {
            if (result.outcome == KeyStore::Outcome::Done) {
                settings.useStoredKey(key, ApiKeySource::Keychain);
                settings.save();
            }
            finish();
        });
        return;
    }
    if (settings.api_key_source == ApiKeySource::Environment) {
        finish();
        return;
    }
    KeyStore::read(receiver, [&settings, finish](const KeyStore::Result &stored) {
        if (stored.outcome == KeyStore::Outcome::Done && !stored.key.isEmpty())
            settings.useStoredKey(stored.key, ApiKeySource::Keychain);
        finish();
    });
}

void resolveApiKey(Settings &settings, int timeoutMs)
{
    wait(
        [&settings](QObject *receiver, KeyStore::Callback done) {
            resolveApiKey(settings, receiver, [done]() { done({KeyStore::Outcome::Done, {}, {}}); });
        },
        timeoutMs);
}

ApiKeySource storeApiKey(Settings &settings, const QString &key, int timeoutMs)
{
    const bool kept = KeyStore::writeNow(key, timeoutMs).outcome == KeyStore::Outcome::Done;
    const ApiKeySource where = kept ? ApiKeySource::Keychain : ApiKeySource::File;
    settings.useStoredKey(key, where);
    settings.save();
    return where;
}
