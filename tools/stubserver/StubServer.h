#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <memory>

class QThread;
class StubServerWorker;

// A request as the stub received it.
struct StubRequest
{
    QByteArray method;
    QString path;
    QString rawQuery; // exactly as sent, without the leading '?'
    QUrlQuery query;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;
    qint64 receivedMs = 0; // when the whole request had arrived, ms since the epoch

    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
};

// What the stub answers.
struct StubResponse
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QList<QPair<QByteArray, QByteArray>> headers;
    int delayMs = 0;     // answer only after this long
    bool hangUp = false; // close the connection without answering

    static StubResponse json(const QByteArray &body, int status = 200);
    static StubResponse fromFile(const QString &path, int status = 200);
    static StubResponse error(int status, const QByteArray &body = "{}");
};

using StubHandler = std::function<StubResponse(const StubRequest &)>;

// A small HTTP/1.1 server on 127.0.0.1, running on its own thread so that
// code under test may block in a local event loop. Tests take a free port;
// tolvo-devstub asks for a fixed one. Routes match the path exactly (any
// query) or the path plus some query items; unrouted paths answer 404.
// It needs Qt Core and Network only, so tools can use it outside the tests.
class StubServer
{
public:
    // Port 0 picks a free port. A port that is taken leaves the server not
    // listening: see isListening() and errorString().
    explicit StubServer(quint16 port = 0);
    ~StubServer();

    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:PORT"
    bool isListening() const { return m_port != 0; }
    QString errorString() const;

    void route(const QString &path, const StubResponse &response);
    void route(const QString &path, StubHandler handler);
    // Only requests to `path` whose query holds every item of `query` (decoded
    // values compared exactly; other items may be present). These routes are
    // tried before the path-only ones, the latest first.
    void route(const QString &path, const QUrlQuery &query, const StubResponse &response);
    void route(const QString &path, const QUrlQuery &query, StubHandler handler);
    // Answers with each response in turn; the last one repeats.
    void routeSequence(const QString &path, const QList<StubResponse> &responses);
    void setFallback(StubHandler handler);

    // Every request is kept for requests()/requestsTo() unless switched off;
    // a long-running server switches it off so memory stays flat.
    void setRecordRequests(bool record);

    QList<StubRequest> requests() const;
    QList<StubRequest> requestsTo(const QString &path) const;
    int count(const QString &path) const { return int(requestsTo(path).size()); }
    void clearRequests();

private:
    friend class StubServerWorker;
    StubResponse respond(const StubRequest &request);

    mutable QMutex m_mutex;
    struct QueryRoute
    {
        QString path;
        QList<QPair<QString, QString>> items;
        StubHandler handler;
    };

    QMap<QString, StubHandler> m_routes;
    QList<QueryRoute> m_queryRoutes;
    StubHandler m_fallback;
    QList<StubRequest> m_requests;
    bool m_recordRequests = true;

    QThread *m_thread = nullptr;
    StubServerWorker *m_worker = nullptr;
    quint16 m_port = 0;
    QString m_errorString;
};
