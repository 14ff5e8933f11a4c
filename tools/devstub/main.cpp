// tolvo-devstub: serves a folder of recorded ESPN replies and a canned model
// on 127.0.0.1, so the program and tolvo-cli run offline with every page
// filled. A developer tool; it is not installed with the program.

#include "DevStub.h"
#include "Recording.h"
#include "RecordingWriter.h"

#include "app/Constants.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <memory>

namespace {

void printOut(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

// A number option: the value, or a usage error naming the option.
bool readNumber(const QCommandLineParser &parser, const QString &name, double low, double high, double *value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double number = parser.value(name).toDouble(&ok);
    if (!ok || number < low || number > high) {
        printErr(QStringLiteral("tolvo-devstub: --%1 takes a number from %2 to %3, not \"%4\"\n")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(parser.value(name)));
        return false;
    }
    *value = number;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // The stub never shows a window; it needs the GUI library only to draw
    // crests, which must work on a machine without a display too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tolvo-devstub"));
    QCoreApplication::setApplicationVersion(APP_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves recorded ESPN replies and canned model answers on 127.0.0.1, so that Tolvo and "
        "tolvo-cli run offline. Point TOLVO_ESPN_HOST, TOLVO_ESPN_SEARCH_HOST and "
        "TOLVO_OPENAI_BASE at the address it prints."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (default 8765; 0 picks a free one)."),
         QStringLiteral("N"), QStringLiteral("8765")},
        {QStringLiteral("data"),
         QStringLiteral("Folder of recorded replies (default: the one in the source tree)."),
         QStringLiteral("DIR"), QStringLiteral(TOLVO_DEVSTUB_DATA_DIR)},
        {QStringLiteral("latency"), QStringLiteral("Delay every answer by this many milliseconds."),
         QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("seed"),
         QStringLiteral("Seed of made-up scores, goal minutes and model answers (default 1)."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("speed"),
         QStringLiteral("Run today's matches this many times faster than the clock (default 1)."),
         QStringLiteral("X"), QStringLiteral("1")},
        {QStringLiteral("quiet"), QStringLiteral("Do not log requests.")},
        {QStringLiteral("write-data"),
         QStringLiteral("Write a newly made-up recording of every tracked league into DIR and exit."),
         QStringLiteral("DIR")},
        {QStringLiteral("recorded-on"),
         QStringLiteral("With --write-data: the recorded day (yyyy-MM-dd, default today)."),
         QStringLiteral("DATE")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        printErr(QStringLiteral("tolvo-devstub: %1\n").arg(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        printErr(QStringLiteral("tolvo-devstub: unexpected argument \"%1\"\n")
                     .arg(parser.positionalArguments().first()));
        return 2;
    }

    double port = 8765;
    double latency = 0;
    double seed = 1;
    double speed = 1;
    if (!readNumber(parser, QStringLiteral("port"), 0, 65535, &port) ||
        !readNumber(parser, QStringLiteral("latency"), 0, 60000, &latency) ||
        !readNumber(parser, QStringLiteral("seed"), 0, 4294967295.0, &seed) ||
        !readNumber(parser, QStringLiteral("speed"), 0.01, 10000, &speed))
        return 2;

    if (parser.isSet(QStringLiteral("write-data"))) {
        QDate day = QDate::currentDate();
        if (parser.isSet(QStringLiteral("recorded-on"))) {
            day = QDate::fromString(parser.value(QStringLiteral("recorded-on")), Qt::ISODate);
            if (!day.isValid()) {
                printErr(QStringLiteral("tolvo-devstub: --recorded-on takes a date like 2026-12-05\n"));
                return 2;
            }
        }
        const QString dir = parser.value(QStringLiteral("write-data"));
        QString error;
        if (!writeRecording(dir, day, std::uint64_t(seed), &error)) {
            printErr(QStringLiteral("tolvo-devstub: %1\n").arg(error));
            return 1;
        }
        printOut(QStringLiteral("Wrote a recording of %1 into %2\n")
                     .arg(day.toString(Qt::ISODate), QDir(dir).absolutePath()));
        return 0;
    }

    QString error;
    std::optional<Recording> recording = loadRecording(parser.value(QStringLiteral("data")), &error);
    if (!recording) {
        printErr(QStringLiteral("tolvo-devstub: %1\n").arg(error));
        return 1;
    }

    DevStub::Options options;
    options.speed = speed;
    options.seed = std::uint64_t(seed);
    options.latencyMs = int(latency);
    const QDateTime start = QDateTime::currentDateTime();
    DevStub stub(std::move(*recording), start, options);

    StubServer server(static_cast<quint16>(port));
    if (!server.isListening()) {
        printErr(QStringLiteral("tolvo-devstub: cannot listen on 127.0.0.1:%1: %2\n")
                     .arg(int(port))
                     .arg(server.errorString()));
        return 1;
    }
    server.setRecordRequests(false);
    stub.setBaseUrl(server.baseUrl());
    if (!parser.isSet(QStringLiteral("quiet"))) {
        // Requests are answered on the server's thread; one line at a time.
        auto logMutex = std::make_shared<QMutex>();
        stub.setLogger([logMutex](const QString &line) {
            QMutexLocker lock(logMutex.get());
            printErr(line + QLatin1Char('\n'));
        });
    }
    server.setFallback([&stub](const StubRequest &request) { return stub.respond(request); });

    const Recording &served = stub.recording();
    const QString base = server.baseUrl();
    printOut(QStringLiteral("tolvo-devstub listening on %1\n").arg(base));
    printOut(QStringLiteral("%1 leagues, %2 fixtures; the recording of %3 is replayed as today, %4\n")
                 .arg(served.leagues.size())
                 .arg(served.events.size())
                 .arg(served.recordedOn.toString(Qt::ISODate), start.date().toString(Qt::ISODate)));
    printOut(QStringLiteral("\nStart Tolvo or tolvo-cli with:\n"
                            "  export TOLVO_ESPN_HOST=%1 TOLVO_ESPN_SEARCH_HOST=%1 TOLVO_OPENAI_BASE=%1\n"
                            "  export OPENAI_API_KEY=sk-devstub\n\n")
                 .arg(base));
    return app.exec();
}
