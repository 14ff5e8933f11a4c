#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// Blocking HTTP for tests, waiting in a local event loop.
struct TestHttpReply
{
    int status = 0; // 0: no HTTP answer
    QByteArray body;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
};

TestHttpReply testHttp(const QByteArray &method, const QString &url,
                       const QList<QPair<QByteArray, QByteArray>> &headers = {}, const QByteArray &body = {},
                       int timeoutMs = 10000);

// One part of a multipart/form-data body.
struct FormPart
{
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;

    QByteArray disposition() const { return headers.value("content-disposition"); }
    QByteArray name() const;
    QByteArray fileName() const;
};

// Splits a multipart body; the boundary comes from the Content-Type header.
QList<FormPart> parseMultipart(const QByteArray &contentType, const QByteArray &body);

// Builds a multipart/form-data body; returns {content type, body}.
QPair<QByteArray, QByteArray> buildMultipart(const QList<FormPart> &parts);
