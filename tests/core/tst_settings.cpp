#include "app/League.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    QStringList legacyLeftovers;

    static void writeSettings(const QByteArray &json) { TestEnv::writeFile(settingsFilePath(), json); }

    static QJsonObject savedObject()
    {
        return QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
    }

    QString plantLegacy(const QString &folder, const QString &name, const QByteArray &bytes)
    {
        const QString path = QDir(folder).filePath(name);
        TestEnv::writeFile(path, bytes);
        legacyLeftovers << path;
        return path;
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

    void load_noFile_givesEveryDefault()
    {
        const Settings s = Settings::load();
        QCOMPARE(s.openai_api_key, QString());
        QCOMPARE(s.openai_model, QStringLiteral("gpt-4o-mini"));
        QCOMPARE(s.thinking_depth, QStringLiteral("standard"));
        QCOMPARE(s.sound_enabled, true);
        QCOMPARE(s.sound_volume, 0.6);
        QCOMPARE(s.theme, QStringLiteral("dark"));
        QCOMPARE(s.accent, QStringLiteral("green"));
        QCOMPARE(s.ui_style, QStringLiteral("standard"));
        QCOMPARE(s.chat_memory_turns, 7);
        QCOMPARE(s.live_refresh_seconds, 60);
        QCOMPARE(s.start_page, QStringLiteral("live"));
        QCOMPARE(s.form_games, 5);
        QCOMPARE(s.upcoming_days, 75);
        QCOMPARE(s.walkthrough_seen, false);
        QCOMPARE(s.favorite_league_ids, QStringList{QStringLiteral("eng.1")});
        QVERIFY(s.recent_searches.isEmpty());
        QVERIFY(!QFile::exists(settingsFilePath())); // loading never writes
    }

    void load_environmentKeyOverridesFileAndFirstStart()
    {
        qputenv("OPENAI_API_KEY", "sk-env");
        QCOMPARE(Settings::load().openai_api_key, QStringLiteral("sk-env"));

        writeSettings(R"({"theme": "light", "openai_api_key": "sk-file"})");
        const Settings s = Settings::load();
        QCOMPARE(s.theme, QStringLiteral("light"));
        QCOMPARE(s.openai_api_key, QStringLiteral("sk-env"));
        QCOMPARE(s.accent, QStringLiteral("green"));
        QCOMPARE(s.upcoming_days, 75);

        qputenv("OPENAI_API_KEY", "");
        QCOMPARE(Settings::load().openai_api_key, QStringLiteral("sk-file"));
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
        QCOMPARE(s.recent_searches, QStringList({"a", ""}));
        QCOMPARE(s.chat_memory_turns, -4); // never clamped when read
    }

    void load_notAnObject_givesDefaults()
    {
        writeSettings(R"(["theme", "light"])");
        QCOMPARE(Settings::load().theme, QStringLiteral("dark"));
        writeSettings("{\"theme\": \"light\""); // truncated
        QCOMPARE(Settings::load().theme, QStringLiteral("dark"));
    }

    void save_writesAll24KeysIndentedAndPrivate()
    {
        Settings s;
        s.openai_api_key = QStringLiteral("sk-secret");
        s.favorite_league_ids = {QStringLiteral("esp.1"), QStringLiteral("ger.1")};
        QVERIFY(s.save());
        const QByteArray bytes = TestEnv::readFile(settingsFilePath());
        QVERIFY(bytes.contains("\n    \"accent\": \"green\""));
        const QJsonObject o = savedObject();
        QCOMPARE(o.size(), 25);
        QCOMPARE(o.value("sound_volume").toDouble(), 0.6);
        QCOMPARE(o.value("upcoming_days").toInt(), 75);
        QVERIFY(o.value("walkthrough_seen").isBool());
        QCOMPARE(o.value("favorite_league_ids").toArray().size(), 2);

        const Settings back = Settings::load();
        QCOMPARE(back.toJson(), s.toJson());
#ifdef Q_OS_UNIX
        QCOMPARE(QFile::permissions(settingsFilePath()) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // Also when the file existed before with looser rights.
        QFile::setPermissions(settingsFilePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ReadOther | QFileDevice::ReadGroup);
        QVERIFY(s.save());
        QCOMPARE(QFile::permissions(settingsFilePath()) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
    }

    void save_failure_keepsPreviousFileAndLogs()
    {
        Settings s;
        s.theme = QStringLiteral("light");
        QVERIFY(s.save());
        const QByteArray before = TestEnv::readFile(settingsFilePath());

        // A folder standing where the temporary file's rename must land makes
        // the final step fail whatever the user's rights are.
        const QString path = settingsFilePath();
        QFile::rename(path, path + QStringLiteral(".real"));
        QDir().mkpath(path + QStringLiteral("/blocker"));
        s.theme = QStringLiteral("dark");
        QVERIFY(!s.save());
        QVERIFY(QFileInfo(path).isDir());
        QDir(path).removeRecursively();
        QFile::rename(path + QStringLiteral(".real"), path);
        QCOMPARE(TestEnv::readFile(path), before);
        QVERIFY(TestEnv::readFile(logFilePath()).contains("Could not save"));
    }

    void save_readOnlyFolder_leavesPreviousFileIntact()
    {
        Settings s;
        s.theme = QStringLiteral("light");
        QVERIFY(s.save());
        const QByteArray before = TestEnv::readFile(settingsFilePath());
        const QString folder = configDir().absolutePath();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QFile probe(folder + QStringLiteral("/probe"));
        const bool stillWritable = probe.open(QIODevice::WriteOnly);
        probe.remove();
        if (stillWritable) {
            QFile::setPermissions(folder,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("This user can write into read-only folders (root)");
        }
        s.theme = QStringLiteral("dark");
        const bool saved = s.save();
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!saved);
        QCOMPARE(TestEnv::readFile(settingsFilePath()), before);
    }

    void defaultLeagues_elevenInOrder()
    {
        const QList<League> &leagues = defaultLeagues();
        QCOMPARE(leagues.size(), 11);
        QCOMPARE(leagues.first().slug, QStringLiteral("eng.1"));
        QCOMPARE(leagues.at(8).name, QString::fromUtf8("S\xc3\xbcper Lig"));
        QCOMPARE(leagues.last().slug, QStringLiteral("sco.1"));
        QCOMPARE(&defaultLeagues(), &leagues);
    }

    void paths_liveInsideTheTestFolders()
    {
        QVERIFY(settingsFilePath().startsWith(env->root()));
        QVERIFY(historyFilePath().startsWith(env->root()));
        QVERIFY(crestCacheDir().exists());
        QVERIFY(crestCacheDir().absolutePath().startsWith(cacheDir().absolutePath()));
        QVERIFY(settingsFilePath().endsWith(QStringLiteral("/settings.json")));
        QVERIFY(logFilePath().endsWith(QStringLiteral("/tolvo.log")));
    }

    void assetPath_fallsBackToExecutableFolder()
    {
        const QString exeDir = QCoreApplication::applicationDirPath();
        const QString assets = exeDir + QStringLiteral("/assets");
        if (QFileInfo(assets).isDir())
            QSKIP("an assets folder sits beside the test binary");
        QCOMPARE(assetPath({QStringLiteral("sounds"), QStringLiteral("goal.wav")}),
                 exeDir + QStringLiteral("/sounds/goal.wav"));
        QDir().mkpath(assets);
        QCOMPARE(assetPath({QStringLiteral("sounds"), QStringLiteral("goal.wav")}),
                 assets + QStringLiteral("/sounds/goal.wav"));
        QDir().rmdir(assets);
    }

    void legacy_historyBesideExecutable_isFoundAndCopiedAlone()
    {
        const QString exeDir = QCoreApplication::applicationDirPath();
        plantLegacy(exeDir, QStringLiteral("history.json"), "[{\"id\":\"old\"}]");
        QCOMPARE(findLegacyPortableData(), QDir(exeDir).absolutePath());

        migrateLegacyPortableData(findLegacyPortableData());
        QCOMPARE(TestEnv::readFile(historyFilePath()), QByteArray("[{\"id\":\"old\"}]"));
        QVERIFY(!QFile::exists(favoritesFilePath()));
        QVERIFY(!QFile::exists(settingsFilePath()));
        QVERIFY(QFile::exists(QDir(exeDir).filePath(QStringLiteral("history.json")))); // left in place
        // Without settings.json the question comes back next time.
        QCOMPARE(findLegacyPortableData(), QDir(exeDir).absolutePath());
    }

    void legacy_neverOverwritesAndStopsOnceSetUp()
    {
        QDir parent(QCoreApplication::applicationDirPath());
        parent.cdUp();
        const QString legacy = parent.absoluteFilePath(QStringLiteral("TolvoDir"));
        plantLegacy(legacy, QStringLiteral("favorites.json"), "[\"legacy\"]");
        plantLegacy(legacy, QStringLiteral("settings.json"), R"({"theme": "light"})");
        QCOMPARE(findLegacyPortableData(), legacy);

        TestEnv::writeFile(favoritesFilePath(), "[\"mine\"]");
        migrateLegacyPortableData(legacy);
        QCOMPARE(TestEnv::readFile(favoritesFilePath()), QByteArray("[\"mine\"]"));
        QCOMPARE(Settings::load().theme, QStringLiteral("light"));
        QCOMPARE(findLegacyPortableData(), QString()); // settings.json now exists
        QDir(legacy).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
