#include "StubServer.h"

#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

class StubServerWorker : public QObject
{
public:
    explicit StubServerWorker(StubServer *owner)
        : m_owner(owner)
    {}

    quint16 start(quint16 port, QString &errorString)
    {
        m_server = new QTcpServer(this);
        if (!m_server->listen(QHostAddress::LocalHost, port)) {
            errorString = m_server->errorString();
            return 0;
        }
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection())
                accept(socket);
        });
        return m_server->serverPort();
    }

private:
    void accept(QTcpSocket *socket)
    {
        socket->setParent(this);
        // A client that goes away mid-request leaves its partial bytes
        // behind; they must not be prepended to a later socket that happens
        // to reuse the same address.
        QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }

    void onReadyRead(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;

        StubRequest request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        const QByteArray target = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return; // wait for the rest of the body
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);

        const qsizetype q = target.indexOf('?');
        request.path = QUrl::fromPercentEncoding(q < 0 ? target : target.left(q));
        request.rawQuery = q < 0 ? QString() : QString::fromLatin1(target.mid(q + 1));
        request.query = QUrlQuery(request.rawQuery);
        request.receivedMs = QDateTime::currentMSecsSinceEpoch();

        const StubResponse response = m_owner->respond(request);
        QPointer<QTcpSocket> guard(socket);
        auto send = [guard, response] {
            if (!guard)
                return;
            if (response.hangUp) {
                guard->abort();
                return;
            }
            QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                             reasonPhrase(response.status) + "\r\n";
            out += "Content-Type: " + response.contentType + "\r\n";
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
            for (const auto &h : response.headers)
                out += h.first + ": " + h.second + "\r\n";
            out += "Connection: close\r\n\r\n";
            out += response.body;
            guard->write(out);
            guard->disconnectFromHost();
        };
        if (response.delayMs > 0)
            QTimer::singleShot(response.delayMs, this, send);
        else
            send();
    }

    StubServer *m_owner;
    QTcpServer *m_server = nullptr;
    QMap<QTcpSocket *, QByteArray> m_buffers;
};

StubResponse StubResponse::json(const QByteArray &body, int status)
{
    StubResponse r;
    r.status = status;
    r.body = body;
    return r;
}

StubResponse StubResponse::fromFile(const QString &path, int status)
{
    QFile file(path);
    StubResponse r;
    r.status = status;
    if (file.open(QIODevice::ReadOnly))
        r.body = file.readAll();
    else
        r.status = 404;
    return r;
}

StubResponse StubResponse::error(int status, const QByteArray &body)
{
    return json(body, status);
}

StubServer::StubServer(quint16 port)
{
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("StubServer"));
    m_worker = new StubServerWorker(this);
    m_worker->moveToThread(m_thread);
    m_thread->start();
    QSemaphore ready;
    QMetaObject::invokeMethod(m_worker, [this, port, &ready] {
        m_port = m_worker->start(port, m_errorString);
        ready.release();
    });
    ready.acquire();
}

StubServer::~StubServer()
{
    QMetaObject::invokeMethod(
        m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

quint16 StubServer::port() const
{
    return m_port;
}

QString StubServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString StubServer::errorString() const
{
    return m_errorString;
}

void StubServer::setRecordRequests(bool record)
{
    QMutexLocker lock(&m_mutex);
    m_recordRequests = record;
}

void StubServer::route(const QString &path, const StubResponse &response)
{
    route(path, [response](const StubRequest &) { return response; });
}

void StubServer::route(const QString &path, StubHandler handler)
{
    QMutexLocker lock(&m_mutex);
    m_routes.insert(path, std::move(handler));
}

void StubServer::route(const QString &path, const QUrlQuery &query, const StubResponse &response)
{
    route(path, query, [response](const StubRequest &) { return response; });
}

void StubServer::route(const QString &path, const QUrlQuery &query, StubHandler handler)
{
    QMutexLocker lock(&m_mutex);
    m_queryRoutes.prepend({path, query.queryItems(QUrl::FullyDecoded), std::move(handler)});
}

void StubServer::routeSequence(const QString &path, const QList<StubResponse> &responses)
{
    auto next = std::make_shared<int>(0);
    route(path, [responses, next](const StubRequest &) {
        const int i = std::min<int>(*next, int(responses.size()) - 1);
        ++*next;
        return responses.value(i);
    });
}

void StubServer::setFallback(StubHandler handler)
{
    QMutexLocker lock(&m_mutex);
    m_fallback = std::move(handler);
}

QList<StubRequest> StubServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QList<StubRequest> StubServer::requestsTo(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    QList<StubRequest> matching;
    for (const StubRequest &r : m_requests) {
        if (r.path == path)
            matching.append(r);
    }
    return matching;
}

void StubServer::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

StubResponse StubServer::respond(const StubRequest &request)
{
    StubHandler handler;
    {
        QMutexLocker lock(&m_mutex);
        if (m_recordRequests)
            m_requests.append(request);
        for (const QueryRoute &candidate : std::as_const(m_queryRoutes)) {
            if (candidate.path != request.path)
                continue;
            const bool matches =
                std::all_of(candidate.items.cbegin(), candidate.items.cend(), [&](const auto &item) {
                    return request.query.hasQueryItem(item.first) &&
                           request.query.queryItemValue(item.first, QUrl::FullyDecoded) == item.second;
                });
            if (matches) {
                handler = candidate.handler;
                break;
            }
        }
        if (!handler)
            handler = m_routes.value(request.path, m_fallback);
    }
    if (!handler)
        return StubResponse::error(404, R"({"error":"no route"})");
    return handler(request);
}
