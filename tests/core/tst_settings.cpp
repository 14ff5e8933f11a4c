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

    void load_environmentKeyOverridesTheFile()
    {
        writeSettings(R"({"theme": "light", "openai_api_key": "sk-file"})");
        qputenv("OPENAI_API_KEY", "sk-env");
        const Settings s = Settings::load();
        QCOMPARE(s.theme, u"light"_s);
        QCOMPARE(s.openai_api_key, u"sk-env"_s);
        QCOMPARE(s.accent, Settings().accent); // missing keys keep their defaults
        qputenv("OPENAI_API_KEY", "");
        QCOMPARE(Settings::load().openai_api_key, u"sk-file"_s);
    }

    void load_wrongTypes_giveZeroValuesNotDefaults()
    {
        writeSettings(R"({"form_games": "7", "sound_enabled": "yes", "sound_volume": "loud",
                          "theme": 3, "live_refresh_seconds": 12.5, "favorite_league_ids": [],
                          "recent_searches": ["a", 1], "chat_memory_turns": -4})");
        const Settings s = Settings::load();
        QCOMPARE(s.form_games, 0);
        QCOMPARE(s.sound_enabled, false);
        QCOMPARE(s.sound_volume, 0.0);
        QCOMPARE(s.theme, QString());
        QCOMPARE(s.live_refresh_seconds, 0);
        QVERIFY(s.favorite_league_ids.isEmpty());
        QCOMPARE(s.recent_searches, QStringList({u"a"_s, QString()}));
        QCOMPARE(s.chat_memory_turns, -4); // never clamped when read
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

    void assetPath_fallsBackToExecutableFolder()
    {
        const QString exeDir = QCoreApplication::applicationDirPath();
        const QString assets = exeDir + u"/assets"_s;
        if (QFileInfo(assets).isDir())
            QSKIP("an assets folder sits beside the test binary");
        QCOMPARE(assetPath({u"sounds"_s, u"goal.wav"_s}), exeDir + u"/sounds/goal.wav"_s);
        QDir().mkpath(assets);
        QCOMPARE(assetPath({u"sounds"_s, u"goal.wav"_s}), assets + u"/sounds/goal.wav"_s);
        QDir().rmdir(assets);
    }

    void legacy_historyBesideExecutable_isCopiedAlone_andAskedAgain()
    {
        const QString exeDir = QDir(QCoreApplication::applicationDirPath()).absolutePath();
        plantLegacy(exeDir, u"history.json"_s, "[{\"id\":\"old\"}]");
        QCOMPARE(findLegacyPortableData(), exeDir);
        migrateLegacyPortableData(exeDir);
        QCOMPARE(TestEnv::readFile(historyFilePath()), QByteArray("[{\"id\":\"old\"}]"));
        QVERIFY(!QFile::exists(favoritesFilePath()));
        QVERIFY(QFile::exists(QDir(exeDir).filePath(u"history.json"_s))); // left in place
        // Without settings.json the question comes back next time.
        QCOMPARE(findLegacyPortableData(), exeDir);
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
