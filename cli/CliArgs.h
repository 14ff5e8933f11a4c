#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// The command line split into global flags, the command, its positional
// arguments and its options ("--days 7" or "--days=7").
struct CliArgs
{
    bool json = false;
    bool help = false;
    bool version = false;
    QString command;
    QStringList positional;
    QMap<QString, QString> options; // valued options, without the dashes
    QSet<QString> flags;            // options without a value

    // Options that take a value; anything else starting with "--" is a flag.
    static CliArgs parse(const QStringList &arguments, const QSet<QString> &valued);

    // The integer value of an option, or `fallback` when it is absent.
    // Sets `ok` to false when present but not a whole number.
    int intOption(const QString &name, int fallback, bool *ok) const;
};
