#include "CliOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

void printOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void printJson(const QJsonValue &value)
{
    QJsonDocument doc;
    if (value.isArray())
        doc = QJsonDocument(value.toArray());
    else
        doc = QJsonDocument(value.toObject());
    printOut(QString::fromUtf8(doc.toJson(QJsonDocument::Indented)));
}

QString formatTable(const QStringList &header, const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QString &h : header)
        widths.append(h.size());
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row.at(c).size());
    }
    auto line = [&](const QStringList &cells) -> QString {
        QString text;
        for (qsizetype c = 0; c < widths.size(); ++c) {
            const QString cell = cells.value(c);
            text += c + 1 < widths.size() ? cell.leftJustified(widths[c] + 2) : cell;
        }
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text + QLatin1Char('\n');
    };
    QString out = line(header);
    QStringList rules;
    for (qsizetype w : widths)
        rules.append(QString(w, QLatin1Char('-')));
    out += line(rules);
    for (const QStringList &row : rows)
        out += line(row);
    return out;
}

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}
