#include "CachedJsonClient.h"

#include "app/Paths.h"
#include "data/BlockingRequest.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ATTEMPTS = 3;

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

QNetworkReply *blockingRequest(QNetworkAccessManager &manager, const QNetworkRequest &request, int timeoutMs,
                               QByteArray &body, int &status)
{
    QNetworkReply *reply = manager.get(request);
    if (!reply->isFinished()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        loop.exec();
        if (!reply->isFinished())
            reply->abort();
    }
    // An aborted reply is closed; reading it would only log a warning.
    body = reply->isOpen() ? reply->readAll() : QByteArray();
    status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply;
}

QUrl urlWithQuery(const QString &base, const QList<QPair<QString, QString>> &items)
{
    QUrl url(base);
    if (items.isEmpty())
        return url;
    QByteArray query;
    for (const auto &item : items) {
        if (!query.isEmpty())
            query += '&';
        query += QUrl::toPercentEncoding(item.first) + '=' + QUrl::toPercentEncoding(item.second);
    }
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

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
        QThread::msleep(static_cast<unsigned long>(std::ceil((start - now) * 1000.0)));
}

QJsonObject CachedJsonClient::get(const QString &path, const QueryParams &params, bool bypassCache) const
{
    const QString key = cacheKey(path, params);
    const int ttl = ttlFor(path);

    if (!bypassCache) {
        {
            QMutexLocker lock(&mutex);
            const auto it = memoryCache.constFind(key);
            if (it != memoryCache.cend() && clockSeconds() - it->first <= ttl)
                return it->second;
        }
        if (std::optional<QJsonObject> cached = readCache(key, ttl))
            return *cached;
    }

    QList<QPair<QString, QString>> items;
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        items.append({it.key(), it.value()});
    QNetworkRequest request(urlWithQuery(urlFor(path), items));
    request.setRawHeader("User-Agent", userAgent.toUtf8());
    QNetworkAccessManager manager;

    QString message;
    QByteArray body;
    bool succeeded = false;
    int pause = retryPauseMs;
    for (int attempt = 1; attempt <= ATTEMPTS; ++attempt) {
        throttle();
        int status = 0;
        QNetworkReply *reply = blockingRequest(manager, request, int(timeoutSeconds * 1000), body, status);
        const QNetworkReply::NetworkError error = reply->error();
        delete reply;

        if (status == 429) {
            message = QStringLiteral("%1 rate limit hit (429) — retry %2/%3")
                          .arg(serviceName())
                          .arg(attempt)
                          .arg(ATTEMPTS);
        } else if (error == QNetworkReply::NoError && status != 0) {
            succeeded = true;
            break;
        } else {
            message = QStringLiteral("Network error contacting %1").arg(serviceName());
        }
        QThread::msleep(static_cast<unsigned long>(pause));
        pause += retryPauseMs;
    }

    if (succeeded) {
        // A reply that is not an object (an array, an error page, nothing) is
        // not an error: it is remembered as an empty object like any other.
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        const QJsonObject result = doc.isObject() ? doc.object() : QJsonObject();
        {
            QMutexLocker lock(&mutex);
            memoryCache.insert(key, {clockSeconds(), result});
        }
        writeCache(key, result);
        return result;
    }

    if (std::optional<QJsonObject> stale = readStale(key))
        return *stale;
    if (message.isEmpty())
        message = QStringLiteral("%1 request failed").arg(serviceName());
    throw ApiError(message);
}

QByteArray CachedJsonClient::fetchCrestBytes(const QString &url) const
{
    if (url.isEmpty())
        return {};
    QNetworkAccessManager manager;
    QByteArray body;
    int status = 0;
    QNetworkReply *reply =
        blockingRequest(manager, QNetworkRequest(QUrl(url)), int(timeoutSeconds * 1000), body, status);
    const bool ok = reply->error() == QNetworkReply::NoError;
    delete reply;
    return ok ? body : QByteArray();
}
