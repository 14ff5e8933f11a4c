#include "app/Paths.h"
#include "model/HistoryStore.h"
#include "model/HistoryTransfer.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

Prediction prediction(const QString &label, int index = 0)
{
    Prediction p = Prediction::freshlyCreated();
    p.match_label = label;
    p.created_at = QDateTime(QDate(2025, 3, 1), QTime(12, 0)).addSecs(60 * index).toString(Qt::ISODate);
    return p;
}

QStringList labels(const QList<Prediction> &list)
{
    QStringList out;
    for (const Prediction &p : list)
        out.append(p.match_label);
    return out;
}

QStringList dataFiles(const QString &pattern)
{
    return dataDir().entryList({pattern}, QDir::Files);
}

} // namespace

class TestHistoryDb : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void firstStart_movesHistoryJsonIn_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("databaseInUse");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("skipped");

        QTest::newRow("order and identity kept")
            << QByteArray(R"([{"id": "c", "match_label": "newest"}, {"id": "b", "match_label": "middle"},
                              {"id": "a", "match_label": "oldest"}])")
            << false << QStringList{"newest", "middle", "oldest"} << QStringList{"c", "b", "a"} << 0;
        QTest::newRow("unreadable entries skipped and counted")
            << QByteArray(R"([{"id": "b", "match_label": "kept"}, 42, "text", {}, null,
                              {"id": "a", "match_label": "also kept"}])")
            << false << QStringList{"kept", "also kept"} << QStringList{"b", "a"} << 4;
        QTest::newRow("no id: known by its creation time")
            << QByteArray(R"([{"id": "", "created_at": "2025-01-02T10:00:00", "match_label": "legacy"}])")
            << false << QStringList{"legacy"} << QStringList{} << 0;
        QTest::newRow("not an array: nothing to move in")
            << QByteArray(R"({"id": "x"})") << false << QStringList{} << QStringList{} << 0;
        QTest::newRow("database already in use: file left alone")
            << QByteArray(R"([{"id": "a", "match_label": "old file"}])") << true << QStringList{"present"}
            << QStringList{} << 0;
    }

    void firstStart_movesHistoryJsonIn()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, databaseInUse);
        QFETCH(QStringList, labels);
        QFETCH(QStringList, ids);
        QFETCH(int, skipped);

        if (databaseInUse)
            HistoryStore(historyDatabasePath()).add(prediction(u"present"_s));
        TestEnv::writeFile(historyFilePath(), file);

        HistoryStore store(historyDatabasePath());
        const QList<Prediction> all = store.all();
        QCOMPARE(::labels(all), labels);
        for (qsizetype i = 0; i < ids.size(); ++i)
            QCOMPARE(all.at(i).id, ids.at(i));

        // Renamed, never deleted: the bytes are all still there.
        const QString imported = historyFilePath() + u".imported"_s;
        QCOMPARE(QFile::exists(historyFilePath()), databaseInUse);
        QCOMPARE(TestEnv::readFile(databaseInUse ? historyFilePath() : imported), file);
        if (!databaseInUse && labels.size() > 0)
            QVERIFY(TestEnv::readFile(logFilePath())
                        .contains(u"%1 unreadable entries skipped"_s.arg(skipped).toUtf8()));

        // A second start finds nothing more to do.
        QCOMPARE(HistoryStore(historyDatabasePath()).count(), labels.size());
        QCOMPARE(dataFiles(u"history.json*"_s).size(), 1 + (file.startsWith('{') ? 1 : 0));
    }

    void legacyEntryWithoutId_isUpdatedThroughItsCreationTime()
    {
        TestEnv::writeFile(historyFilePath(), R"([
            {"id": "", "created_at": "2025-05-01T10:00:00", "match_label": "old"},
            {"id": "x", "created_at": "2025-05-02T10:00:00", "match_label": "other"}])");
        HistoryStore store(historyDatabasePath());
        Prediction old = store.all().at(0);
        old.outcome = u"HOME"_s;
        old.actual_home_score = 1;
        old.actual_away_score = 0;
        store.update(old);
        store.update(prediction(u"stranger"_s)); // unknown: not added

        const QList<Prediction> all = store.all();
        QCOMPARE(::labels(all), (QStringList{"old", "other"}));
        QCOMPARE(all.at(0).wasCorrect(), std::optional<bool>(true));
        // Updated once, it keeps the id it was read with.
        QCOMPARE(all.at(0).id, old.id);
        QCOMPARE(store.checked().size(), 1);
    }

    // A database written before the market had columns of its own: the
    // scores read the snapshot, and only numbers count as percentages.
    void olderDatabase_getsTheMarketColumnsFromItsJson()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("older"));
            db.setDatabaseName(historyDatabasePath());
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral(
                "CREATE TABLE predictions (seq INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE, "
                "created_at TEXT NOT NULL, league TEXT NOT NULL, match_id TEXT NOT NULL, confidence INTEGER "
                "NOT NULL, outcome TEXT NOT NULL, home_pct INTEGER NOT NULL, draw_pct INTEGER NOT NULL, "
                "away_pct INTEGER NOT NULL, actual_home INTEGER NOT NULL, actual_away INTEGER NOT NULL, "
                "checked INTEGER NOT NULL, correct INTEGER, search TEXT NOT NULL, json TEXT NOT NULL)")));
            for (const char *json :
                 {R"({"id":"a","market_home_pct":50.5,"market_draw_pct":30,"market_away_pct":19.5,)"
                  R"("market_provider":"Book","kickoff_state":"in"})",
                  R"({"id":"b","market_home_pct":"55","market_provider":7})"}) {
                const QString identity = QJsonDocument::fromJson(json)[u"id"].toString();
                QVERIFY(q.exec(
                    QStringLiteral("INSERT INTO predictions VALUES (NULL, '%1', '', '', '', 0, 'HOME', 0, "
                                   "0, 0, 1, 0, 1, 1, '', '%2')")
                        .arg(identity, QString::fromUtf8(json))));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("older"));
        HistoryStore store(historyDatabasePath());
        QList<Prediction> scored = store.checked();
        QCOMPARE(scored.size(), 2);
        QCOMPARE(scored.at(1).market_home_pct, std::optional<double>(50.5));
        QCOMPARE(scored.at(1).market_away_pct, std::optional<double>(19.5));
        QCOMPARE(scored.at(1).market_provider, QStringLiteral("Book"));
        QCOMPARE(scored.at(1).kickoff_state, QStringLiteral("in"));
        QVERIFY(!scored.at(0).market_home_pct && scored.at(0).market_provider.isEmpty());

        // Written again, the columns follow the record.
        Prediction changed = store.all().at(1);
        changed.market_home_pct = 40;
        changed.kickoff_state = QStringLiteral("pre");
        changed.outcome = QStringLiteral("HOME");
        changed.actual_home_score = 1;
        changed.actual_away_score = 0;
        store.update(changed);
        scored = store.checked();
        QCOMPARE(scored.at(1).market_home_pct, std::optional<double>(40));
        QCOMPARE(scored.at(1).kickoff_state, QStringLiteral("pre"));
    }

    void noCap_everyPredictionKept_newestFirst()
    {
        HistoryStore store(historyDatabasePath());
        for (int i = 0; i < 250; ++i)
            store.add(prediction(QStringLiteral("p%1").arg(i), i));
        HistoryStore other(historyDatabasePath());
        QCOMPARE(other.count(), 250);
        const QList<Prediction> all = other.all();
        QCOMPARE(all.first().match_label, QStringLiteral("p249"));
        QCOMPARE(all.last().match_label, QStringLiteral("p0"));
        QCOMPARE(::labels(other.find({}, 10, 2)), (QStringList{"p239", "p238"}));

        store.clear();
        QCOMPARE(other.count(), 0);
    }

    void unreadableDatabase_isKeptAside_andAFreshOneStarted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("truncate");

        QTest::newRow("not a database") << QByteArray("this is no database, just text\n") << false;
        QTest::newRow("cut short") << QByteArray() << true;
    }

    void unreadableDatabase_isKeptAside_andAFreshOneStarted()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, truncate);

        if (truncate) {
            {
                HistoryStore store(historyDatabasePath());
                QJsonArray many;
                for (int i = 0; i < 400; ++i)
                    many.append(prediction(u"p%1"_s.arg(i), i).toJson());
                store.importEntries(many);
            }
            bytes = TestEnv::readFile(historyDatabasePath());
            bytes.truncate(bytes.size() / 3);
        }
        TestEnv::writeFile(historyDatabasePath(), bytes);

        HistoryStore store(historyDatabasePath());
        QVERIFY(!store.setAsideCopy().isEmpty());
        QCOMPARE(dataFiles(u"tolvo.db.corrupt-*"_s).size(), 1);
        QCOMPARE(TestEnv::readFile(store.setAsideCopy()), bytes);
        store.add(prediction(u"fresh"_s));
        QCOMPARE(labels(HistoryStore(historyDatabasePath()).all()), QStringList{"fresh"});
        QVERIFY(HistoryStore(historyDatabasePath()).setAsideCopy().isEmpty());
    }

    void exportThenImport_roundTrip_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("json") << u"out.json"_s;
        QTest::newRow("csv") << u"out.CSV"_s;
    }

    void exportThenImport_roundTrip()
    {
        QFETCH(QString, fileName);
        // Texts that CSV must quote, an entry without id, a checked one.
        const QJsonArray entries{QJsonObject{{"id", ""},
                                             {"created_at", "2025-01-01T09:00:00"},
                                             {"match_label", "No id, \"quoted\""}},
                                 QJsonObject{{"id", "b"},
                                             {"created_at", "2025-01-02T09:00:00"},
                                             {"match_label", "Brighton, Hove"},
                                             {"summary", "Line one\nline two"},
                                             {"key_factors", QJsonArray{"Form, home", u"Müller"_s}},
                                             {"confidence", 71},
                                             {"cost_gbp", 0.00125},
                                             {"actual_home_score", 2},
                                             {"actual_away_score", 0}}};
        TestEnv::writeFile(historyFilePath(), QJsonDocument(entries).toJson());
        HistoryStore source(historyDatabasePath());
        QJsonArray original;
        for (const Prediction &p : source.all())
            original.append(p.toJson());
        const QString path = env->root() + QLatin1Char('/') + fileName;
        QCOMPARE(exportHistory(source, path), QString());
        if (fileName.endsWith(QLatin1String("CSV")))
            QVERIFY(TestEnv::readFile(path).startsWith("actual_away_score,actual_home_score,away_team,"));

        HistoryStore target(env->root() + u"/other/tolvo.db"_s);
        HistoryImport result;
        QCOMPARE(importHistory(target, path, &result), QString());
        QCOMPARE(result.added, 2);
        const QList<Prediction> back = target.all();
        QCOMPARE(back.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QJsonObject a = original.at(i).toObject();
            QJsonObject b = back.at(i).toJson();
            if (i == 0) { // read without an id, it gets a fresh one each time
                a.remove(u"id"_s);
                b.remove(u"id"_s);
            }
            QCOMPARE(b, a);
        }

        // Again: the same identities are updated, not duplicated.
        QCOMPARE(importHistory(target, path, &result), QString());
        QCOMPARE(result.added, 0);
        QCOMPARE(result.updated, 2);
        QCOMPARE(target.count(), 2);
        QVERIFY(!importHistory(target, env->root() + u"/missing.json"_s).isEmpty());
    }

    void lostTable_everyCallFailsQuietly_andSaysSoInTheLog()
    {
        HistoryStore store(historyDatabasePath());
        store.add(prediction(u"kept"_s));
        {
            // Another program (or a broken disk) takes the table away.
            QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other"_s);
            other.setDatabaseName(historyDatabasePath());
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(u"DROP TABLE predictions"_s, other).isActive());
            other.close();
        }
        QSqlDatabase::removeDatabase(u"other"_s);
        store.add(prediction(u"lost"_s));
        store.update(prediction(u"lost"_s));
        QCOMPARE(store.importEntries({QJsonObject{{"id", "x"}}}).added, 0);
        QVERIFY(store.all().isEmpty() && store.checked().isEmpty() && store.leagues().isEmpty());
        QCOMPARE(store.count(), 0);
        QCOMPARE(store.count(HistoryFilter()), 0);
        QVERIFY(store.toJsonArray().isEmpty());
        store.clear();
        QVERIFY(TestEnv::readFile(logFilePath()).contains("History database: adding a prediction failed"));
    }
};

QTEST_GUILESS_MAIN(TestHistoryDb)
#include "tst_historydb.moc"
