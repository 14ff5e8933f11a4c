#include "UiHarness.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// Closing Tolvo ends the process whatever is in flight: nothing keeps
// waiting for a server that does not answer.
class TestQuit : public QObject
{
    Q_OBJECT

private slots:
    // The real program, measured from outside: its start-up probe quits at
    // the first paint while the live page's fetches hang on a silent server.
    // Waiting for the server would outlast the suite's time-out.
    void program_exitsWhileItsFetchesHang()
    {
        StubServer silent;
        silent.setFallback([](const StubRequest &) { return delayed(StubResponse::json("{}"), 600000); });
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *folder : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(folder), home.filePath(QString::fromLatin1(folder)));
        for (const char *host : {"TOLVO_ESPN_HOST", "TOLVO_ESPN_SEARCH_HOST", "TOLVO_OPENAI_BASE"})
            env.insert(QString::fromLatin1(host), silent.baseUrl());
        env.insert(u"TOLVO_STARTUP_PROBE"_s, u"1"_s);
        QProcess tolvo;
        tolvo.setProcessEnvironment(env);
        tolvo.setProcessChannelMode(QProcess::MergedChannels);
        tolvo.start(QStringLiteral(TOLVO_BINARY), {});
        QVERIFY(tolvo.waitForFinished(-1));
        const QByteArray output = tolvo.readAll();
        QVERIFY2(tolvo.exitStatus() == QProcess::NormalExit && tolvo.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("first-paint-ms"), output.constData());
        QVERIFY2(!output.contains("QEventLoop"), output.constData());
    }

    // In this process, last: once cancelled, requests stay cancelled.
    void shutdown_keepsWhatCameBack_andAbandonsWhatWaits()
    {
        UiHarness ui;
        ui.start();
        ui.server.route(MODEL, quickReply(u"HOME"_s, 600000));
        bool delivered = false;
        ui.context->runAsync<int>([] { return 1; }, [&](int) { delivered = true; });
        // Finished on its worker, not yet handed to the window.
        ui.context->pool->waitForDone();
        QString failure;
        ui.context->runAsync<QString>([&] { return ui.context->getPredictor()->chat({}, u"hi"_s).first; }, {},
                                      [&](const QString &message) { failure = message; });
        QTRY_COMPARE(ui.server.count(MODEL), 1);

        ui.context->shutdown();
        QVERIFY(delivered);
        QCOMPARE(ui.context->pool->activeThreadCount(), 0);
        // A failure after the window closed has nobody to tell.
        QVERIFY(failure.isEmpty());
        QVERIFY(ui.toasts().isEmpty());
    }
};

QTEST_MAIN(TestQuit)
#include "tst_quit.moc"
