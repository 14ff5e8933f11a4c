#pragma once

#include "app/RelayConfig.h"

#include <QByteArray>
#include <QException>
#include <QString>

#include <stdexcept>

// A report that did not reach the relay; the message is meant for the user.
class ReportError : public std::runtime_error, public QException
{
public:
    explicit ReportError(const QString &message)
        : std::runtime_error(message.toStdString())
    {}
    const char *what() const noexcept override { return std::runtime_error::what(); }
    void raise() const override { throw *this; }
    ReportError *clone() const override { return new ReportError(*this); }
};

// "bug" -> "Bug": the first character upper-cased, the rest unchanged.
QString titleCase(const QString &text);

// Sends one feedback report to the relay's "/report" as a multipart form.
// Blocking (run it on a worker thread); throws ReportError on any failure.
void sendReport(const QString &message, const QString &category, const QString &severity,
                const QString &reporterName, const QByteArray &screenshotPng, const QString &logText,
                const RelayConfig &relay = RelayConfig::builtIn());

// How long sendReport waits for the relay; tests shorten it.
void setReportTimeoutMs(int ms);
