#pragma once

#include <QByteArray>
#include <QCache>
#include <QException>
#include <QJsonObject>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>

// The one failure a data client reports: a message meant for the user.
//
// It is both a std::runtime_error and a QException so that a QFuture can carry
// it from a worker to the GUI thread unchanged. Because both bases derive from
// std::exception separately, catch it as ApiError or std::runtime_error: a
// handler for std::exception would be ambiguous and never matches.
class ApiError : public std::runtime_error, public QException
{
public:
    explicit ApiError(const QString &message);

    QString message() const;
    const char *what() const noexcept override;

    ApiError *clone() const override;
    void raise() const override;
};

// Query parameters of a request, by name. A map keeps them sorted by name,
// which is the order both the cache key and the URL use.
using QueryParams = QMap<QString, QString>;

// A blocking JSON-over-HTTP GET with a memory and a disk cache, request
// spacing and three attempts. Called from worker threads only; any number of
// them may share one client.
class CachedJsonClient
{
public:
    CachedJsonClient(const QString &cacheNamespace, const QString &userAgent, double timeoutSeconds);
    virtual ~CachedJsonClient();

    CachedJsonClient(const CachedJsonClient &) = delete;
    CachedJsonClient &operator=(const CachedJsonClient &) = delete;

    // Far above any real reply; a bigger one comes from a broken or hostile
    // server and is refused like a failed request.
    static constexpr qint64 MaxReplyBytes = 8 * 1024 * 1024;

    // The name put into error messages.
    virtual QString serviceName() const;
    virtual QString urlFor(const QString &path) const = 0;
    // Seconds a cached reply for this path counts as fresh.
    virtual int ttlFor(const QString &path) const;

    // The reply object of `path` with `params`, from a fresh cached copy when
    // there is one (unless bypassCache), else from the service. Throws
    // ApiError when the service cannot be reached and no copy exists at all.
    QJsonObject get(const QString &path, const QueryParams &params = {}, bool bypassCache = false) const;

    // One plain GET of an image; empty bytes on any failure. Never throws.
    QByteArray fetchCrestBytes(const QString &url) const;

    static QString cacheKey(const QString &path, const QueryParams &params);
    QString cachePath(const QString &key) const;
    std::optional<QJsonObject> readCache(const QString &key, qint64 maxAgeSeconds) const;
    std::optional<QJsonObject> readStale(const QString &key) const;
    void writeCache(const QString &key, const QJsonObject &object) const;

    // Removes cached replies older than `maxAgeDays`, then the oldest ones
    // until the folder holds at most `maxBytes`. Run before the first request.
    void sweepDiskCache(qint64 maxBytes = 100 * 1024 * 1024, int maxAgeDays = 30) const;

    // Waits until this client may start its next request.
    void throttle() const;

protected:
    // Least time in seconds between the starts of two requests.
    double minInterval = 0.5;
    QString cacheNamespace;
    QString userAgent;
    double timeoutSeconds;

    // The first pause after a failed attempt in milliseconds; each later pause
    // is longer by the same step (500, 1000, 1500).
    int retryPauseMs = 500;
    // Seconds since the epoch as the caches see them; replaceable so that the
    // age limits can be checked to the second.
    std::function<qint64()> clockSeconds;

private:
    QString m_cacheFolder;
    // When each reply arrived, and the reply. Least recently used first out,
    // weighed by the size of the reply's body.
    using CacheEntry = QPair<qint64, QJsonObject>;
    mutable QCache<QString, CacheEntry> memoryCache;
    mutable QMutex mutex;
    mutable std::once_flag m_sweepOnce;
    mutable double nextRequestAt = 0;
};
