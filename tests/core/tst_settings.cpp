// The settings file, the leftovers of the portable layout, and the log.
#include "app/Log.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestSettings : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    QStringList legacyLeftovers;

    static void writeSettings(const QByteArray &json) { TestEnv::writeFile(settingsFilePath(), json); }

    void plantLegacy(const QString &folder, const QString &name, const QByteArray &bytes)
    {
        legacyLeftovers << TestEnv::writeFile(QDir(folder).filePath(name), bytes);
    }

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
        qunsetenv("OPENAI_API_KEY");
        qInstallMessageHandler(nullptr);
    }
    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        for (const QString &path : std::as_const(legacyLeftovers))
            QFile::remove(path);
        legacyLeftovers.clear();
        env.reset();
    }

    void load_missingOrUnreadable_givesDefaultsWithoutWriting_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("array") << QByteArray(R"(["theme", "light"])");
        QTest::newRow("truncated") << QByteArray(R"({"theme": "light")");
    }
    void load_missingOrUnreadable_givesDefaultsWithoutWriting()
    {
        QFETCH(QByteArray, bytes);
        if (!bytes.isEmpty())
            writeSettings(bytes);
        QCOMPARE(Settings::load().toJson(), Settings().toJson());
        QCOMPARE(TestEnv::readFile(settingsFilePath()), bytes);
    }

    void save_roundTrip_indentedAndPrivate()
    {
        Settings s;
        s.openai_api_key = u"sk-secret"_s;
        s.favorite_league_ids = {u"esp.1"_s, u"ger.1"_s};
        QVERIFY(s.save());
        QVERIFY(TestEnv::readFile(settingsFilePath()).contains("\n    \"accent\": "));
        QCOMPARE(Settings::load().toJson(), s.toJson());
#ifdef Q_OS_UNIX
        const auto privateRights = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QCOMPARE(QFile::permissions(settingsFilePath()) & 0x7077, privateRights);
        // Also when the file existed before with looser rights.
        QFile::setPermissions(settingsFilePath(),
                              privateRights | QFileDevice::ReadOther | QFileDevice::ReadGroup);
        QVERIFY(s.save());
        QCOMPARE(QFile::permissions(settingsFilePath()) & 0x7077, privateRights);
#endif
    }

    void save_failure_keepsPreviousFileAndLogs()
    {
        Settings s;
        s.theme = u"light"_s;
        QVERIFY(s.save());
        const QString path = settingsFilePath();
        const QByteArray before = TestEnv::readFile(path);
        // A folder standing where the temporary file's rename must land makes
        // the final step fail whatever the user's rights are.
        QFile::rename(path, path + u".real"_s);
        QDir().mkpath(path + u"/blocker"_s);
        s.theme = u"dark"_s;
        QVERIFY(!s.save());
        QDir(path).removeRecursively();
        QFile::rename(path + u".real"_s, path);
        QCOMPARE(TestEnv::readFile(path), before);
        QVERIFY(TestEnv::readFile(logFilePath()).contains("Could not save"));
    }

    void legacy_neverOverwritesAndStopsOnceSetUp()
    {
        QDir parent(QCoreApplication::applicationDirPath());
        parent.cdUp();
        const QString legacy = parent.absoluteFilePath(u"TolvoDir"_s);
        plantLegacy(legacy, u"favorites.json"_s, "[\"legacy\"]");
        plantLegacy(legacy, u"settings.json"_s, R"({"theme": "light"})");
        QCOMPARE(findLegacyPortableData(), legacy);
        TestEnv::writeFile(favoritesFilePath(), "[\"mine\"]");
        migrateLegacyPortableData(legacy);
        QCOMPARE(TestEnv::readFile(favoritesFilePath()), QByteArray("[\"mine\"]"));
        QCOMPARE(Settings::load().theme, u"light"_s);
        QCOMPARE(findLegacyPortableData(), QString()); // settings.json now exists
        QDir(legacy).removeRecursively();
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

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
