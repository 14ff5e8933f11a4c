#include "Log.h"

#include "Constants.h"
#include "Paths.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QTextStream>

namespace {

constexpr qint64 MaxLogBytes = 1024 * 1024;

QMutex &logMutex()
{
    static QMutex mutex;
    return mutex;
}

QString levelText(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtWarningMsg:
        return QStringLiteral("WARN");
    case QtCriticalMsg:
        return QStringLiteral("CRIT");
    case QtFatalMsg:
        return QStringLiteral("FATAL");
    default:
        return QStringLiteral("INFO");
    }
}

void qtMessageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    appLog(QStringLiteral("[%1] %2").arg(levelText(type), message));
}

// Drops the older half of the log, starting the kept part on a whole line.
void rotate(const QString &path, qint64 size)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return;
    const QByteArray all = in.readAll();
    in.close();

    QString kept = QString::fromUtf8(all.mid(size / 2));
    const qsizetype lineFeed = kept.indexOf(QLatin1Char('\n'));
    if (lineFeed >= 0)
        kept = kept.mid(lineFeed + 1);

    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    out.write(kept.toUtf8());
}

} // namespace

void installLogMessageHandler()
{
    qInstallMessageHandler(qtMessageHandler);
}

void initLogging()
{
    installLogMessageHandler();
    appLog(QStringLiteral("=== Tolvo ") + APP_VERSION + QStringLiteral(" started ==="));
}

void appLog(const QString &text)
{
    // Nothing under the lock may raise a Qt message: the handler would come
    // back here on the same thread and deadlock on this non-recursive mutex.
    // Resolving the folder is therefore done before taking it.
    const QString path = logFilePath();
    QMutexLocker locker(&logMutex());

    qint64 size = 0;
    {
        QFile probe(path);
        if (!probe.open(QIODevice::ReadWrite))
            return;
        size = probe.size();
    }
    if (size >= MaxLogBytes)
        rotate(path, size);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                         QLatin1Char(' ') + text + QLatin1Char('\n');
    file.write(line.toUtf8());
    file.flush();
}

QString readRecentLog(int n)
{
    if (n < 1)
        return {};
    QFile file(logFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    QTextStream stream(&file);
    while (!stream.atEnd())
        lines.append(stream.readLine());
    if (lines.size() > n)
        lines = lines.mid(lines.size() - n);
    return lines.join(QLatin1Char('\n'));
}
