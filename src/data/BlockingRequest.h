#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QString>
#include <QUrl>

class QHttpMultiPart;
class QIODevice;
class QNetworkRequest;

// The one way the program waits for an HTTP reply on a worker thread: the
// request is sent from a private network manager, waited for in a private
// event loop, and aborted when the caller's time limit passes, when the body
// grows past the caller's cap, or when the program begins to quit.

// What one blocking request brought back.
struct HttpReply
{
    QByteArray body; // empty unless the reply finished
    int status = 0;  // the HTTP status; 0 when none arrived
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorText;
    bool timedOut = false;  // the time limit passed first
    bool tooLarge = false;  // the body passed the size cap
    bool cancelled = false; // the program began to quit

    // Finished with a status and no network error: a reply worth reading.
    bool ok() const { return error == QNetworkReply::NoError && status != 0; }
};

struct RequestLimits
{
    int timeoutMs = 30000;
    qint64 maxBytes = 0; // 0: no cap
    // When set, the body is written here as it arrives instead of being
    // kept in memory; a failed write ends the request as failed.
    QIODevice *saveTo = nullptr;
};

HttpReply blockingGet(const QNetworkRequest &request, RequestLimits limits);
HttpReply blockingPost(const QNetworkRequest &request, const QByteArray &body, RequestLimits limits);
// Takes ownership of `multiPart`.
HttpReply blockingPost(const QNetworkRequest &request, QHttpMultiPart *multiPart, RequestLimits limits);

// Called when the program begins to quit, from any thread: every blocking
// request in flight ends at once as cancelled, later ones fail without being
// sent, and every pauseUnlessCancelled() returns. There is no way back.
void cancelBlockingRequests();
bool blockingRequestsCancelled();
// Waits `ms` milliseconds on this thread; returns false at once when the
// requests are (or become) cancelled.
bool pauseUnlessCancelled(int ms);

// `base` with the items appended as its query, in the given order. Every
// character outside the unreserved set is percent-encoded, so a "+" or an "&"
// in a team name reaches the server as written.
QUrl urlWithQuery(const QString &base, const QList<QPair<QString, QString>> &items);

// Whether a fetched address may be used: https anywhere, http only on this
// machine (the stub servers of the tests and tolvo-devstub).
bool isSecureOrLoopback(const QUrl &url);
