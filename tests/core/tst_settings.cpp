#include "app/Paths.h"
#include "app/Settings.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonDocument>
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

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        qunsetenv("OPENAI_API_KEY");
    }
    void cleanup()
    {
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
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
