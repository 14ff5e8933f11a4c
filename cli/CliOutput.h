#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

// Writes to stdout / stderr as UTF-8.
void printOut(const QString &text);
void printErr(const QString &text);
void printJson(const QJsonValue &value);

// An aligned text table: a header row, a rule and the rows.
QString formatTable(const QStringList &header, const QList<QStringList> &rows);

// Whether stderr is an interactive terminal (progress is shown only then).
bool stderrIsTerminal();
