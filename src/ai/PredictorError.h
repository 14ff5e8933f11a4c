#pragma once

#include <QException>
#include <QString>

#include <stdexcept>

// A failed model call, carrying one message meant for the user. It is a
// QException so that a future can carry it from a worker to the GUI thread.
// Both bases derive from std::exception, which makes that base ambiguous:
// catch it as std::runtime_error, QException or PredictorError.
class PredictorError : public std::runtime_error, public QException
{
public:
    explicit PredictorError(const QString &message);

    QString message() const;
    const char *what() const noexcept override { return std::runtime_error::what(); }

    void raise() const override { throw *this; }
    PredictorError *clone() const override { return new PredictorError(*this); }
};
