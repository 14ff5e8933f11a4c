#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// Shared by the data clients; not part of their public face.

// One GET on `manager`, waited for in a private event loop on the calling
// thread until the reply finishes or `timeoutMs` passes, in which case it is
// aborted. Fills the whole body and the HTTP status (0 when there is none) and
// returns the reply, which the caller deletes.
QNetworkReply *blockingRequest(QNetworkAccessManager &manager, const QNetworkRequest &request, int timeoutMs,
                               QByteArray &body, int &status);

// `base` with the items appended as its query, in the given order. Every
// character outside the unreserved set is percent-encoded, so a "+" or an "&"
// in a team name reaches the server as written.
QUrl urlWithQuery(const QString &base, const QList<QPair<QString, QString>> &items);
