#include "app/Constants.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestLog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static QStringList logLines()
    {
        return QString::fromUtf8(TestEnv::readFile(logFilePath()))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // A log of exactly `size` bytes made of numbered lines "line NNNNNNN".
    static void writeLogOfSize(qint64 size)
    {
        QByteArray bytes;
        int i = 0;
        while (bytes.size() < size)
            bytes += "line " + QByteArray::number(i++).rightJustified(7, '0') + '\n';
        bytes.truncate(size);
        TestEnv::writeFile(logFilePath(), bytes);
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        qInstallMessageHandler(nullptr);
    }

    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        env.reset();
    }

    void rotation_atLimit_keepsNewerHalfFromALineStart()
    {
        writeLogOfSize(1048575); // just below: kept whole
        appLog(u"next"_s);
        QVERIFY(TestEnv::readFile(logFilePath()).startsWith("line 0000000\n"));

        writeLogOfSize(1048576);
        appLog(u"after rotation"_s);
        const QByteArray bytes = TestEnv::readFile(logFilePath());
        QVERIFY(bytes.size() < 1048576 / 2 + 100);
        QVERIFY(bytes.size() > 1048576 / 2 - 100);
        QVERIFY2(bytes.startsWith("line "), bytes.left(20).constData());
        QVERIFY(bytes.mid(5, 7).toInt() > 40000); // from the newer half
        QVERIFY(bytes.trimmed().endsWith(" after rotation"));
    }

    void appLog_concurrentWriters_loseNoLine()
    {
        QList<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads << QThread::create([t] {
                for (int i = 0; i < 50; ++i)
                    appLog(u"t%1-%2"_s.arg(t).arg(i));
            });
            threads.last()->start();
        }
        for (QThread *thread : threads) {
            thread->wait();
            delete thread;
        }
        QCOMPARE(logLines().size(), 200);
    }

    void qtWarningOnWorkerThread_isOneWarnLine()
    {
        initLogging();
        QThread *worker = QThread::create([] { qWarning("disk %s is full", "C:"); });
        worker->start();
        worker->wait();
        delete worker;
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.last().endsWith(QStringLiteral(" [WARN] disk C: is full")), qPrintable(lines.last()));
        qCritical("broken");
        qInfo("hello");
        QVERIFY(logLines().at(2).endsWith(QStringLiteral(" [CRIT] broken")));
        QVERIFY(logLines().at(3).endsWith(QStringLiteral(" [INFO] hello")));
    }

    void readRecentLog_tails()
    {
        QCOMPARE(readRecentLog(300), QString()); // no file yet
        for (int i = 1; i <= 10; ++i)
            appLog(QStringLiteral("entry %1").arg(i));
        const QStringList ten = readRecentLog(300).split(QLatin1Char('\n'));
        QCOMPARE(ten.size(), 10);
        QVERIFY(ten.first().endsWith(QStringLiteral("entry 1")));
        QVERIFY(!readRecentLog(300).endsWith(QLatin1Char('\n')));
        QCOMPARE(readRecentLog(0), QString());

        QByteArray many;
        for (int i = 1; i <= 1000; ++i)
            many += "l" + QByteArray::number(i) + '\n';
        TestEnv::writeFile(logFilePath(), many);
        const QStringList tail = readRecentLog(300).split(QLatin1Char('\n'));
        QCOMPARE(tail.size(), 300);
        QCOMPARE(tail.first(), QStringLiteral("l701"));
        QCOMPARE(tail.last(), QStringLiteral("l1000"));
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
