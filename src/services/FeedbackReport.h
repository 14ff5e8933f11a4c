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

// The last 300 lines of the log as a report carries them: the home folder
// (which holds the user's name) written as "~".
QString reportLogText();

// Exactly the text a report with these parts sends: its JSON payload, a note
// for the screenshot, and the log.
QString reportPreview(const QString &message, const QString &category, const QString &severity,
                      const QString &reporterName, bool withScreenshot, const QString &logText);

// Sends one feedback report to the relay's "/report" as a multipart form.
// Blocking (run it on a worker thread), waiting at most `timeoutMs`; throws
// ReportError on any failure.
void sendReport(const QString &message, const QString &category, const QString &severity,
                const QString &reporterName, const QByteArray &screenshotPng, const QString &logText,
                const RelayConfig &relay = RelayConfig::builtIn(), int timeoutMs = 15000);
