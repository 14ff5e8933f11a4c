#include "BlockingRequest.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHttpMultiPart>
#include <QIODevice>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSet>
#include <QTimer>
#include <QWaitCondition>

#include <functional>
#include <memory>

namespace {

// The loops now waiting, so that a quit can end each of them. A loop is
// removed under the lock before it is destroyed, and the quit is queued to
// the loop's own thread, so a loop that ends meanwhile only drops the event.
struct Cancellation
{
    QMutex lock;
    QWaitCondition woken;
    QSet<QEventLoop *> loops;
    bool cancelled = false;
};

Cancellation &cancellation()
{
    // Never destroyed: workers may still look at it while the process ends.
    static auto *state = new Cancellation;
    return *state;
}

class LoopRegistration
{
public:
    explicit LoopRegistration(QEventLoop *loop)
        : m_loop(loop)
    {
        QMutexLocker locker(&cancellation().lock);
        cancellation().loops.insert(loop);
        m_cancelled = cancellation().cancelled;
    }
    ~LoopRegistration()
    {
        QMutexLocker locker(&cancellation().lock);
        cancellation().loops.remove(m_loop);
    }
    LoopRegistration(const LoopRegistration &) = delete;
    LoopRegistration &operator=(const LoopRegistration &) = delete;

    bool cancelledBefore() const { return m_cancelled; }

private:
    QEventLoop *m_loop;
    bool m_cancelled = false;
};

HttpReply run(const std::function<QNetworkReply *(QNetworkAccessManager &)> &send, RequestLimits limits)
{
    HttpReply result;
    if (blockingRequestsCancelled()) {
        result.cancelled = true;
        result.error = QNetworkReply::OperationCanceledError;
        return result;
    }
    // Declared before the reply so that the reply goes first.
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(send(manager));
    QEventLoop loop;
    LoopRegistration registration(&loop);

    auto pastCap = [&](qint64 bytes) {
        if (limits.maxBytes <= 0 || bytes <= limits.maxBytes || result.tooLarge)
            return;
        result.tooLarge = true;
        loop.quit();
    };
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A declared length past the cap ends the request before any body arrives.
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop,
                     [&]() { pastCap(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()); });
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop,
                     [&](qint64 received, qint64) { pastCap(received); });
    bool writeFailed = false;
    auto drain = [&]() {
        const QByteArray chunk = reply->readAll();
        if (!writeFailed && limits.saveTo->write(chunk) != chunk.size()) {
            writeFailed = true;
            loop.quit();
        }
    };
    if (limits.saveTo)
        QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, drain);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&]() {
        result.timedOut = true;
        loop.quit();
    });
    timer.start(limits.timeoutMs);

    if (!reply->isFinished() && !registration.cancelledBefore())
        loop.exec();

    if (limits.saveTo && !result.tooLarge && reply->isFinished())
        drain();
    if (!reply->isFinished() || result.tooLarge || writeFailed) {
        // Whatever came first decides the outcome; a time-out that raced a
        // finished reply above does not count.
        result.cancelled = !result.timedOut && !result.tooLarge && !writeFailed;
        result.timedOut = result.timedOut && !result.tooLarge && !writeFailed;
        result.errorText = writeFailed       ? QStringLiteral("could not save the reply")
                           : result.tooLarge ? QStringLiteral("reply too large")
                           : result.timedOut ? QStringLiteral("timed out")
                                             : QStringLiteral("cancelled");
        result.error = QNetworkReply::OperationCanceledError;
        // Disconnected first: abort() emits finished and progress once more.
        QObject::disconnect(reply.get(), nullptr, &loop, nullptr);
        reply->abort();
        return result;
    }
    result.timedOut = false;
    result.error = reply->error();
    result.errorText = reply->errorString();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    if (limits.maxBytes > 0 && result.body.size() > limits.maxBytes) {
        result.tooLarge = true;
        result.body.clear();
        result.error = QNetworkReply::OperationCanceledError;
        result.errorText = QStringLiteral("reply too large");
    }
    return result;
}

} // namespace

HttpReply blockingGet(const QNetworkRequest &request, RequestLimits limits)
{
    return run([&](QNetworkAccessManager &manager) { return manager.get(request); }, limits);
}

HttpReply blockingPost(const QNetworkRequest &request, const QByteArray &body, RequestLimits limits)
{
    return run([&](QNetworkAccessManager &manager) { return manager.post(request, body); }, limits);
}

HttpReply blockingPost(const QNetworkRequest &request, QHttpMultiPart *multiPart, RequestLimits limits)
{
    std::unique_ptr<QHttpMultiPart> owned(multiPart);
    return run(
        [&](QNetworkAccessManager &manager) {
            QNetworkReply *reply = manager.post(request, owned.get());
            owned.release()->setParent(reply);
            return reply;
        },
        limits);
}

void cancelBlockingRequests()
{
    Cancellation &state = cancellation();
    QMutexLocker locker(&state.lock);
    state.cancelled = true;
    for (QEventLoop *loop : std::as_const(state.loops))
        QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    state.woken.wakeAll();
}

bool blockingRequestsCancelled()
{
    QMutexLocker locker(&cancellation().lock);
    return cancellation().cancelled;
}

bool pauseUnlessCancelled(int ms)
{
    Cancellation &state = cancellation();
    QMutexLocker locker(&state.lock);
    const QDeadlineTimer deadline(ms);
    while (!state.cancelled && !deadline.hasExpired())
        state.woken.wait(&state.lock, deadline);
    return !state.cancelled;
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

bool isSecureOrLoopback(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    if (url.scheme() != QLatin1String("http"))
        return false;
    if (url.host() == QLatin1String("localhost"))
        return true;
    const QHostAddress address(url.host());
    return !address.isNull() && address.isLoopback();
}
