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

namespace {

Match match(const QString &id, const QString &home = QStringLiteral("Home"))
{
    Match m;
    m.id = id;
    m.home_team = home;
    m.away_team = QStringLiteral("Away");
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

QDateTime modified(const QString &path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
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

    void history_capsAt200_newestFirst()
    {
        HistoryStore store(historyFilePath());
        for (int i = 0; i < 200; ++i)
            store.add(prediction(QStringLiteral("p%1").arg(i)));
        QCOMPARE(store.all().size(), 200);
        store.add(prediction(QStringLiteral("newest")));
        const QJsonArray file = fileArray(historyFilePath());
        QCOMPARE(file.size(), 200);
        QCOMPARE(file.first().toObject().value("match_label").toString(), QStringLiteral("newest"));
        QCOMPARE(file.last().toObject().value("match_label").toString(), QStringLiteral("p1"));
    }

    void history_updateInPlace_byIdOrCreatedAt()
    {
        HistoryStore store(historyFilePath());
        const Prediction a = prediction(QStringLiteral("a"));
        Prediction b = prediction(QStringLiteral("b"));
        store.add(a);
        store.add(b);
        b.summary = QStringLiteral("reasoned");
        b.actual_home_score = 1;
        b.actual_away_score = 0;
        store.update(b);
        QCOMPARE(store.all().at(0).summary, QStringLiteral("reasoned"));
        QCOMPARE(store.all().at(0).actual_home_score, 1);
        QCOMPARE(store.all().at(1).id, a.id);
        QCOMPARE(fileArray(historyFilePath()).at(0).toObject().value("summary").toString(),
                 QStringLiteral("reasoned"));

        // An entry stored without an id is found through its creation time.
        TestEnv::writeFile(historyFilePath(), R"([
            {"id": "", "created_at": "2026-05-01T10:00:00", "match_label": "old"},
            {"id": "x", "created_at": "2026-05-02T10:00:00", "match_label": "other"}])");
        HistoryStore legacy(historyFilePath());
        Prediction old = legacy.all().at(0);
        QVERIFY(!old.id.isEmpty());
        old.outcome = QStringLiteral("HOME");
        legacy.update(old);
        const QJsonArray file = fileArray(historyFilePath());
        QCOMPARE(file.size(), 2);
        QCOMPARE(file.at(0).toObject().value("outcome").toString(), QStringLiteral("HOME"));
        QCOMPARE(file.at(1).toObject().value("match_label").toString(), QStringLiteral("other"));
    }

    void history_updateOfUnknownPrediction_changesNothing()
    {
        HistoryStore store(historyFilePath());
        store.add(prediction(QStringLiteral("a")));
        const QDateTime before = modified(historyFilePath());
        const QByteArray bytes = TestEnv::readFile(historyFilePath());
        store.update(prediction(QStringLiteral("stranger")));
        QCOMPARE(store.all().size(), 1);
        QCOMPARE(TestEnv::readFile(historyFilePath()), bytes);
        QCOMPARE(modified(historyFilePath()), before);
    }

    void history_clearWritesEmptyArray()
    {
        HistoryStore store(historyFilePath());
        store.add(prediction(QStringLiteral("a")));
        store.clear();
        QVERIFY(store.all().isEmpty());
        QCOMPARE(TestEnv::readFile(historyFilePath()).trimmed(), QByteArray("[\n]"));
    }

    void history_objectInsteadOfArray_startsEmptyButKeepsACopy()
    {
        const QByteArray broken = R"({"not": "an array"})";
        TestEnv::writeFile(historyFilePath(), broken);
        HistoryStore store(historyFilePath());
        QVERIFY(store.all().isEmpty());
        store.add(prediction(QStringLiteral("fresh")));
        QCOMPARE(fileArray(historyFilePath()).size(), 1);

        const QStringList copies = dataDir().entryList({QStringLiteral("history.json.corrupt-*")});
        QCOMPARE(copies.size(), 1);
        QCOMPARE(TestEnv::readFile(dataDir().filePath(copies.first())), broken);
    }

    void history_truncatedFile_isPreservedAside()
    {
        HistoryStore store(historyFilePath());
        store.add(prediction(QStringLiteral("a")));
        QByteArray bytes = TestEnv::readFile(historyFilePath());
        bytes.chop(bytes.size() / 2);
        TestEnv::writeFile(historyFilePath(), bytes);
        HistoryStore reopened(historyFilePath());
        QVERIFY(reopened.all().isEmpty());
        QCOMPARE(dataDir().entryList({QStringLiteral("history.json.corrupt-*")}).size(), 1);

        // An empty file is simply a new store; nothing to keep.
        TestEnv::writeFile(favoritesFilePath(), "");
        FavoritesStore favorites(favoritesFilePath());
        QVERIFY(favorites.all().isEmpty());
        QVERIFY(dataDir().entryList({QStringLiteral("favorites.json.corrupt-*")}).isEmpty());
    }

    void history_failedSave_keepsMemoryAndPreviousFile()
    {
        HistoryStore store(historyFilePath());
        store.add(prediction(QStringLiteral("kept")));
        const QByteArray before = TestEnv::readFile(historyFilePath());

        // Put a folder where the rename must land: the write cannot succeed.
        const QString path = historyFilePath();
        QFile::rename(path, path + QStringLiteral(".real"));
        QDir().mkpath(path + QStringLiteral("/blocker"));
        store.add(prediction(QStringLiteral("lost at exit")));
        QCOMPARE(store.all().size(), 2);
        QDir(path).removeRecursively();
        QFile::rename(path + QStringLiteral(".real"), path);
        QCOMPARE(TestEnv::readFile(path), before);
        QVERIFY(TestEnv::readFile(logFilePath()).contains("Could not save"));
        // No temporary files left behind.
        QCOMPARE(dataDir().entryList(QDir::Files).filter(QStringLiteral("history")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStores)
#include "tst_stores.moc"
