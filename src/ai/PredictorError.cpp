#include "PredictorError.h"

PredictorError::PredictorError(const QString &message)
    : std::runtime_error(message.toUtf8().toStdString())
{}

QString PredictorError::message() const
{
    return QString::fromUtf8(std::runtime_error::what());
}
