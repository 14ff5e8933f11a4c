#include "app/Paths.h"
#include "model/FavoritesStore.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

namespace {

Match match(const QString &id, const QString &home = QStringLiteral("Home"))
{
    Match m;
    m.id = id;
    m.home_team = home;
    m.away_team = QStringLiteral("Away");
    return m;
}

QJsonArray fileArray(const QString &path)
{
    return QJsonDocument::fromJson(TestEnv::readFile(path)).array();
}

} // namespace

class TestStores : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void favorites_newestFirst_andStarredOnce()
    {
        FavoritesStore store(favoritesFilePath());
        store.add(match(QStringLiteral("A")));
        store.add(match(QStringLiteral("B")));
        QCOMPARE(store.all().size(), 2);
        QCOMPARE(store.all().first().id, QStringLiteral("B"));
        QCOMPARE(fileArray(favoritesFilePath()).at(0).toObject().value("id").toString(), QStringLiteral("B"));

        // Starring again must not touch the file.
        QFile::remove(favoritesFilePath());
        store.add(match(QStringLiteral("A"), QStringLiteral("Renamed")));
        QVERIFY(!QFile::exists(favoritesFilePath()));
        QCOMPARE(store.all().size(), 2);
        QCOMPARE(store.all().last().home_team, QStringLiteral("Home"));
    }

    void favorites_toggleAndRemove()
    {
        FavoritesStore store(favoritesFilePath());
        QCOMPARE(store.toggle(match(QStringLiteral("A"))), true);
        QVERIFY(store.isFavorite(QStringLiteral("A")));
        QCOMPARE(store.toggle(match(QStringLiteral("A"))), false);
        QVERIFY(!store.isFavorite(QStringLiteral("A")));
        QCOMPARE(fileArray(favoritesFilePath()).size(), 0);

        store.add(match(QStringLiteral("C")));
        QFile::remove(favoritesFilePath());
        store.remove(QStringLiteral("unknown"));
        QVERIFY(!QFile::exists(favoritesFilePath())); // nothing dropped, nothing written
        QVERIFY(!store.isFavorite(QString()));

        // A new store reads what the old one wrote.
        store.save();
        FavoritesStore reopened(favoritesFilePath());
        QCOMPARE(reopened.all().size(), 1);
        QCOMPARE(reopened.all().first().id, QStringLiteral("C"));
    }

    void favorites_writtenIndentedWithNullScores()
    {
        FavoritesStore store(favoritesFilePath());
        Match m = match(QStringLiteral("A"));
        m.home_score = QStringLiteral("1");
        store.add(m);
        const QByteArray bytes = TestEnv::readFile(favoritesFilePath());
        QVERIFY(bytes.contains("\n        \"away_score\": null,"));
        QVERIFY(bytes.contains("\"home_score\": \"1\""));
    }

    void favorites_objectInsteadOfArray_startsEmptyButKeepsACopy()
    {
        const QByteArray broken = R"({"not": "an array"})";
        TestEnv::writeFile(favoritesFilePath(), broken);
        FavoritesStore store(favoritesFilePath());
        QVERIFY(store.all().isEmpty());
        store.add(match(QStringLiteral("fresh")));
        QCOMPARE(fileArray(favoritesFilePath()).size(), 1);

        const QStringList copies = dataDir().entryList({QStringLiteral("favorites.json.corrupt-*")});
        QCOMPARE(copies.size(), 1);
        QCOMPARE(TestEnv::readFile(dataDir().filePath(copies.first())), broken);
    }

    void favorites_truncatedFile_isPreservedAside()
    {
        FavoritesStore store(favoritesFilePath());
        store.add(match(QStringLiteral("a")));
        QByteArray bytes = TestEnv::readFile(favoritesFilePath());
        bytes.chop(bytes.size() / 2);
        TestEnv::writeFile(favoritesFilePath(), bytes);
        FavoritesStore reopened(favoritesFilePath());
        QVERIFY(reopened.all().isEmpty());
        QCOMPARE(dataDir().entryList({QStringLiteral("favorites.json.corrupt-*")}).size(), 1);

        // An empty file is simply a new store; nothing to keep.
        TestEnv::writeFile(favoritesFilePath(), "");
        FavoritesStore favorites(favoritesFilePath());
        QVERIFY(favorites.all().isEmpty());
        QCOMPARE(dataDir().entryList({QStringLiteral("favorites.json.corrupt-*")}).size(), 1);
    }

    void favorites_failedSave_keepsMemoryAndPreviousFile()
    {
        FavoritesStore store(favoritesFilePath());
        store.add(match(QStringLiteral("kept")));
        const QByteArray before = TestEnv::readFile(favoritesFilePath());

        // Put a folder where the rename must land: the write cannot succeed.
        const QString path = favoritesFilePath();
        QFile::rename(path, path + QStringLiteral(".real"));
        QDir().mkpath(path + QStringLiteral("/blocker"));
        store.add(match(QStringLiteral("lost at exit")));
        QCOMPARE(store.all().size(), 2);
        QDir(path).removeRecursively();
        QFile::rename(path + QStringLiteral(".real"), path);
        QCOMPARE(TestEnv::readFile(path), before);
        QVERIFY(TestEnv::readFile(logFilePath()).contains("Could not save"));
        // No temporary files left behind.
        QCOMPARE(dataDir().entryList(QDir::Files).filter(QStringLiteral("favorites")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStores)
#include "tst_stores.moc"
