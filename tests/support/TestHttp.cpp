#include "TestHttp.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

TestHttpReply testHttp(const QByteArray &method, const QString &url,
                       const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &body,
                       int timeoutMs)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    for (const auto &h : headers)
        request.setRawHeader(h.first, h.second);
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    TestHttpReply result;
    if (reply->isFinished()) {
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.body = reply->readAll();
        for (const auto &pair : reply->rawHeaderPairs())
            result.headers.insert(pair.first.toLower(), pair.second);
    } else {
        reply->abort();
    }
    delete reply;
    return result;
}

QByteArray FormPart::name() const
{
    static const QRegularExpression re(QStringLiteral("\\bname=\"([^\"]*)\""));
    return re.match(QString::fromUtf8(disposition())).captured(1).toUtf8();
}

QByteArray FormPart::fileName() const
{
    static const QRegularExpression re(QStringLiteral("filename=\"([^\"]*)\""));
    return re.match(QString::fromUtf8(disposition())).captured(1).toUtf8();
}

QList<FormPart> parseMultipart(const QByteArray &contentType, const QByteArray &body)
{
    QList<FormPart> parts;
    const qsizetype at = contentType.indexOf("boundary=");
    if (at < 0)
        return parts;
    QByteArray boundary = contentType.mid(at + 9);
    if (boundary.startsWith('"'))
        boundary = boundary.mid(1, boundary.indexOf('"', 1) - 1);
    const QByteArray delimiter = "--" + boundary;

    qsizetype pos = body.indexOf(delimiter);
    while (pos >= 0) {
        pos += delimiter.size();
        if (body.mid(pos, 2) == "--")
            break;
        pos += 2; // CRLF after the delimiter
        const qsizetype headerEnd = body.indexOf("\r\n\r\n", pos);
        const qsizetype next = body.indexOf(QByteArray("\r\n" + delimiter), headerEnd);
        if (headerEnd < 0 || next < 0)
            break;
        FormPart part;
        for (const QByteArray &line : body.mid(pos, headerEnd - pos).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                part.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        part.body = body.mid(headerEnd + 4, next - headerEnd - 4);
        parts.append(part);
        pos = next + 2;
    }
    return parts;
}

QPair<QByteArray, QByteArray> buildMultipart(const QList<FormPart> &parts)
{
    const QByteArray boundary = "tolvoTestBoundary7c1f";
    QByteArray body;
    for (const FormPart &part : parts) {
        body += "--" + boundary + "\r\n";
        for (auto it = part.headers.cbegin(); it != part.headers.cend(); ++it)
            body += it.key() + ": " + it.value() + "\r\n";
        body += "\r\n" + part.body + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return {"multipart/form-data; boundary=" + boundary, body};
}
