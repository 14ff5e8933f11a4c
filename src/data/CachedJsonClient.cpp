#include "CachedJsonClient.h"

#include "app/Paths.h"
#include "data/BlockingRequest.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QNetworkRequest>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ATTEMPTS = 3;
constexpr qint64 MaxCrestBytes = 1024 * 1024;
constexpr qint64 MemoryCacheBytes = 32 * 1024 * 1024;

double nowSecondsPrecise()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

std::optional<QJsonObject> readCacheFile(const QString &path, std::optional<qint64> maxAge, qint64 now)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject stored = doc.object();
    const qint64 ts = stored.value(QLatin1String("ts")).toInteger(0);
    if (maxAge && now - ts > *maxAge)
        return std::nullopt;
    return stored.value(QLatin1String("data")).toObject();
}

} // namespace

ApiError::ApiError(const QString &message)
    : std::runtime_error(message.toUtf8().toStdString())
{}

QString ApiError::message() const
{
    return QString::fromUtf8(std::runtime_error::what());
}

const char *ApiError::what() const noexcept
{
    return std::runtime_error::what();
}

ApiError *ApiError::clone() const
{
    return new ApiError(*this);
}

void ApiError::raise() const
{
    throw *this;
}

CachedJsonClient::CachedJsonClient(const QString &cacheNamespace, const QString &userAgent,
                                   double timeoutSeconds)
    : cacheNamespace(cacheNamespace)
    , userAgent(userAgent)
    , timeoutSeconds(timeoutSeconds)
    , clockSeconds([] { return QDateTime::currentSecsSinceEpoch(); })
    , m_cacheFolder(cacheDir().filePath(cacheNamespace))
{
    memoryCache.setMaxCost(MemoryCacheBytes);
    QDir().mkpath(m_cacheFolder);
}

CachedJsonClient::~CachedJsonClient() = default;

QString CachedJsonClient::serviceName() const
{
    return QStringLiteral("the data provider");
}

int CachedJsonClient::ttlFor(const QString &) const
{
    return 300;
}

QString CachedJsonClient::cacheKey(const QString &path, const QueryParams &params)
{
    QString text = path;
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        text += QLatin1Char('|') + it.key() + QLatin1Char('=') + it.value();
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString CachedJsonClient::cachePath(const QString &key) const
{
    return m_cacheFolder + QLatin1Char('/') + key + QLatin1String(".json");
}

std::optional<QJsonObject> CachedJsonClient::readCache(const QString &key, qint64 maxAgeSeconds) const
{
    return readCacheFile(cachePath(key), maxAgeSeconds, clockSeconds());
}

std::optional<QJsonObject> CachedJsonClient::readStale(const QString &key) const
{
    return readCacheFile(cachePath(key), std::nullopt, clockSeconds());
}

void CachedJsonClient::writeCache(const QString &key, const QJsonObject &object) const
{
    QJsonObject stored;
    stored.insert(QLatin1String("ts"), clockSeconds());
    stored.insert(QLatin1String("data"), object);

    // QSaveFile gives every writer its own temporary file and renames it over
    // the old copy, so threads storing the same key at once never interleave
    // their bytes; a reader sees one whole reply or the previous one.
    QSaveFile file(cachePath(key));
    if (!file.open(QIODevice::WriteOnly)) {
        // The user may have emptied the cache folder while the program runs.
        QDir().mkpath(m_cacheFolder);
        if (!file.open(QIODevice::WriteOnly))
            return;
    }
    const QByteArray bytes = QJsonDocument(stored).toJson(QJsonDocument::Compact);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}

void CachedJsonClient::sweepDiskCache(qint64 maxBytes, int maxAgeDays) const
{
    // File times are the machine's, whatever clock the client reads.
    const QDateTime oldest = QDateTime::currentDateTime().addDays(-maxAgeDays);
    qint64 kept = 0;
    // Newest first, so that what the size budget removes is the oldest.
    const QFileInfoList files =
        QDir(m_cacheFolder).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Time);
    for (const QFileInfo &file : files) {
        if (file.lastModified() >= oldest && kept + file.size() <= maxBytes)
            kept += file.size();
        else
            QFile::remove(file.filePath());
    }
}

void CachedJsonClient::throttle() const
{
    double start = 0;
    double now = 0;
    {
        QMutexLocker lock(&mutex);
        now = nowSecondsPrecise();
        start = std::max(nextRequestAt + minInterval, now);
        nextRequestAt = start;
    }
    if (start > now)
        pauseUnlessCancelled(static_cast<int>(std::ceil((start - now) * 1000.0)));
}

QJsonObject CachedJsonClient::get(const QString &path, const QueryParams &params, bool bypassCache) const
{
    // Once per client, on the worker of its first request rather than on
    // the GUI thread while the window starts.
    std::call_once(m_sweepOnce, [this]() { sweepDiskCache(); });
    const QString key = cacheKey(path, params);
    const int ttl = ttlFor(path);

    if (!bypassCache) {
        {
            QMutexLocker lock(&mutex);
            const CacheEntry *entry = memoryCache.object(key);
            if (entry && clockSeconds() - entry->first <= ttl)
                return entry->second;
        }
        if (std::optional<QJsonObject> cached = readCache(key, ttl))
            return *cached;
    }

    QList<QPair<QString, QString>> items;
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        items.append({it.key(), it.value()});
    QNetworkRequest request(urlWithQuery(urlFor(path), items));
    request.setRawHeader("User-Agent", userAgent.toUtf8());

    QString message;
    std::optional<QJsonObject> result;
    int pause = retryPauseMs;
    for (int attempt = 1; attempt <= ATTEMPTS && !blockingRequestsCancelled(); ++attempt) {
        throttle();
        const HttpReply reply = blockingGet(request, {int(timeoutSeconds * 1000), MaxReplyBytes});
        if (reply.status == 429) {
            message = QStringLiteral("%1 rate limit hit (429) — retry %2/%3")
                          .arg(serviceName())
                          .arg(attempt)
                          .arg(ATTEMPTS);
        } else if (reply.ok()) {
            // Only an object is an answer; anything else (an error page, an
            // array, nothing) must not replace a good copy.
            const QJsonDocument doc = QJsonDocument::fromJson(reply.body);
            if (doc.isObject()) {
                result = doc.object();
                const qint64 cost = reply.body.size();
                QMutexLocker lock(&mutex);
                memoryCache.insert(key, new CacheEntry(clockSeconds(), *result), cost);
            }
            break;
        } else {
            message = QStringLiteral("Network error contacting %1").arg(serviceName());
        }
        pauseUnlessCancelled(pause);
        pause += retryPauseMs;
    }

    if (result) {
        writeCache(key, *result);
        return *result;
    }
    if (std::optional<QJsonObject> stale = readStale(key))
        return *stale;
    if (message.isEmpty())
        message = QStringLiteral("%1 request failed").arg(serviceName());
    throw ApiError(message);
}

QByteArray CachedJsonClient::fetchCrestBytes(const QString &url) const
{
    // A crest address comes from the data provider's reply; it must not name
    // a file on this machine or a plain-text host.
    if (!isSecureOrLoopback(QUrl(url)))
        return {};
    const HttpReply reply =
        blockingGet(QNetworkRequest(QUrl(url)), {int(timeoutSeconds * 1000), MaxCrestBytes});
    return reply.ok() ? reply.body : QByteArray();
}
