#include "app/Paths.h"
#include "model/FavoritesStore.h"
#include "model/HistoryStore.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

Match match(const QString &id, const QString &home = u"Home"_s)
{
    Match m;
    m.id = id;
    m.home_team = home;
    m.away_team = u"Away"_s;
    return m;
}

Prediction prediction(const QString &label)
{
    Prediction p = Prediction::freshlyCreated();
    p.match_label = label;
    return p;
}

QJsonArray fileArray(const QString &path)
{
    return QJsonDocument::fromJson(TestEnv::readFile(path)).array();
}

QStringList corruptCopies(const QString &name)
{
    return dataDir().entryList({name + u".corrupt-*"_s});
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

    void favorites_newestFirst_starredOnce_writtenIndentedWithNullScores()
    {
        FavoritesStore store(favoritesFilePath());
        Match scored = match(u"A"_s);
        scored.home_score = u"1"_s;
        store.add(scored);
        store.add(match(u"B"_s));
        QCOMPARE(store.all().first().id, u"B"_s);
        QCOMPARE(fileArray(favoritesFilePath()).at(0).toObject().value(u"id"_s).toString(), u"B"_s);
        QVERIFY(TestEnv::readFile(favoritesFilePath()).contains("\n        \"away_score\": null,"));

        // Starring again must not touch the file.
        QFile::remove(favoritesFilePath());
        store.add(match(u"A"_s, u"Renamed"_s));
        QVERIFY(!QFile::exists(favoritesFilePath()));
        QCOMPARE(store.all().size(), 2);
        QCOMPARE(store.all().last().home_team, u"Home"_s);
    }

    void favorites_toggleRemoveAndReopen()
    {
        FavoritesStore store(favoritesFilePath());
        QCOMPARE(store.toggle(match(u"A"_s)), true);
        QVERIFY(store.isFavorite(u"A"_s));
        QCOMPARE(store.toggle(match(u"A"_s)), false);
        QCOMPARE(fileArray(favoritesFilePath()).size(), 0);

        store.add(match(u"C"_s));
        QFile::remove(favoritesFilePath());
        store.remove(u"unknown"_s);
        QVERIFY(!QFile::exists(favoritesFilePath())); // nothing dropped, nothing written
        QVERIFY(!store.isFavorite(QString()));
        store.save();
        FavoritesStore reopened(favoritesFilePath());
        QCOMPARE(reopened.all().size(), 1);
        QCOMPARE(reopened.all().first().id, u"C"_s);
    }

    void history_capsAt200_newestFirst_clearWritesEmptyArray()
    {
        HistoryStore store(historyFilePath());
        for (int i = 0; i <= 200; ++i)
            store.add(prediction(QString::number(i)));
        const QJsonArray file = fileArray(historyFilePath());
        QCOMPARE(file.size(), 200);
        QCOMPARE(file.first().toObject().value(u"match_label"_s).toString(), u"200"_s);
        QCOMPARE(file.last().toObject().value(u"match_label"_s).toString(), u"1"_s);
        store.clear();
        QVERIFY(store.all().isEmpty());
        QCOMPARE(fileArray(historyFilePath()).size(), 0);
    }

    void history_updateInPlace_byIdOrCreatedAt()
    {
        HistoryStore store(historyFilePath());
        const Prediction a = prediction(u"a"_s);
        Prediction b = prediction(u"b"_s);
        store.add(a);
        store.add(b);
        b.summary = u"reasoned"_s;
        b.actual_home_score = 1;
        store.update(b);
        QCOMPARE(store.all().at(0).summary, u"reasoned"_s);
        QCOMPARE(store.all().at(1).id, a.id);
        QCOMPARE(fileArray(historyFilePath()).at(0).toObject().value(u"summary"_s).toString(), u"reasoned"_s);

        // An unknown prediction changes nothing, not even the file's time.
        const QByteArray bytes = TestEnv::readFile(historyFilePath());
        const QDateTime modified = QFileInfo(historyFilePath()).lastModified();
        store.update(prediction(u"stranger"_s));
        QCOMPARE(store.all().size(), 2);
        QCOMPARE(TestEnv::readFile(historyFilePath()), bytes);
        QCOMPARE(QFileInfo(historyFilePath()).lastModified(), modified);

        // An entry stored without an id is found through its creation time.
        TestEnv::writeFile(historyFilePath(), R"([
            {"id": "", "created_at": "2026-05-01T10:00:00", "match_label": "old"},
            {"id": "x", "created_at": "2026-05-02T10:00:00", "match_label": "other"}])");
        HistoryStore legacy(historyFilePath());
        Prediction old = legacy.all().at(0);
        QVERIFY(!old.id.isEmpty());
        old.outcome = u"HOME"_s;
        legacy.update(old);
        const QJsonArray file = fileArray(historyFilePath());
        QCOMPARE(file.size(), 2);
        QCOMPARE(file.at(0).toObject().value(u"outcome"_s).toString(), u"HOME"_s);
        QCOMPARE(file.at(1).toObject().value(u"match_label"_s).toString(), u"other"_s);
    }

    void history_unreadableFile_startsEmptyButKeepsACopy_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("object instead of array") << QByteArray(R"({"not": "an array"})");
        QTest::newRow("truncated") << QByteArray(R"([{"id": "a", "match_label": )");
    }
    void history_unreadableFile_startsEmptyButKeepsACopy()
    {
        QFETCH(QByteArray, bytes);
        TestEnv::writeFile(historyFilePath(), bytes);
        HistoryStore store(historyFilePath());
        QVERIFY(store.all().isEmpty());
        store.add(prediction(u"fresh"_s));
        QCOMPARE(fileArray(historyFilePath()).size(), 1);
        const QStringList copies = corruptCopies(u"history.json"_s);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(TestEnv::readFile(dataDir().filePath(copies.first())), bytes);

        // An empty file is simply a new store; nothing to keep.
        TestEnv::writeFile(favoritesFilePath(), "");
        QVERIFY(FavoritesStore(favoritesFilePath()).all().isEmpty());
        QVERIFY(corruptCopies(u"favorites.json"_s).isEmpty());
    }

    void history_failedSave_keepsMemoryAndPreviousFile()
    {
        HistoryStore store(historyFilePath());
        store.add(prediction(u"kept"_s));
        const QString path = historyFilePath();
        const QByteArray before = TestEnv::readFile(path);
        // Put a folder where the rename must land: the write cannot succeed.
        QFile::rename(path, path + u".real"_s);
        QDir().mkpath(path + u"/blocker"_s);
        store.add(prediction(u"lost at exit"_s));
        QCOMPARE(store.all().size(), 2);
        QDir(path).removeRecursively();
        QFile::rename(path + u".real"_s, path);
        QCOMPARE(TestEnv::readFile(path), before);
        QVERIFY(TestEnv::readFile(logFilePath()).contains("Could not save"));
        // No temporary files left behind.
        QCOMPARE(dataDir().entryList(QDir::Files).filter(u"history"_s).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStores)
#include "tst_stores.moc"
