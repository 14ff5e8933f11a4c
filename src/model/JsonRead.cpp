#include "JsonRead.h"

#include <QLocale>

QString jsonScoreText(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Double:
        // Shortest round-trip text: 2 gives "2", 2.5 gives "2.5".
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return {};
    }
}
