#include "HistoryStore.h"

#include "JsonRead.h"
#include "JsonStore.h"
#include "app/Log.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>

namespace {

// The store whose opening runs on this thread, if any.
thread_local const HistoryStore *openingStore = nullptr;

// Long enough for another process's transaction (at most one import) to
// end; every ordinary transaction is a single statement.
constexpr int BusyTimeoutMs = 15000;

// SQLite's result codes for "someone else holds the lock": a database in
// use is not a broken one.
bool isBusy(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6");
}

QAtomicInt nextInstance;

void logFailure(const char *what, const QSqlQuery &query)
{
    appLog(
        QStringLiteral("History database: %1 failed: %2").arg(QLatin1String(what), query.lastError().text()));
}

QString identityOf(const QJsonObject &entry)
{
    const QString id = jsonText(entry, "id");
    return id.isEmpty() ? jsonText(entry, "created_at") : id;
}

// Qt SQL binds a null text as NULL; the columns hold empty texts instead.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

// The columns that queries need, next to the stored JSON text. Values are
// read as leniently as the records themselves read them.
void bindEntry(QSqlQuery &query, const QJsonObject &entry)
{
    const Prediction p = Prediction::fromJson(entry);
    const std::optional<bool> correct = p.wasCorrect();
    query.bindValue(QStringLiteral(":identity"), identityOf(entry));
    query.bindValue(QStringLiteral(":created_at"), text(p.created_at));
    query.bindValue(QStringLiteral(":league"), text(p.league));
    query.bindValue(QStringLiteral(":match_id"), text(p.match_id));
    query.bindValue(QStringLiteral(":confidence"), p.confidence);
    query.bindValue(QStringLiteral(":outcome"), text(p.outcome));
    query.bindValue(QStringLiteral(":home_pct"), p.home_win_pct);
    query.bindValue(QStringLiteral(":draw_pct"), p.draw_pct);
    query.bindValue(QStringLiteral(":away_pct"), p.away_win_pct);
    query.bindValue(QStringLiteral(":actual_home"), p.actual_home_score);
    query.bindValue(QStringLiteral(":actual_away"), p.actual_away_score);
    query.bindValue(QStringLiteral(":checked"), correct.has_value() ? 1 : 0);
    query.bindValue(QStringLiteral(":correct"),
                    correct.has_value() ? QVariant(*correct ? 1 : 0) : QVariant());
    // Lower-cased here, not by SQLite, whose lower() knows only ASCII.
    query.bindValue(QStringLiteral(":search"), (p.match_label + QLatin1Char('\n') + p.league).toLower());
    const auto percent = [](const std::optional<double> &value) {
        return value ? QVariant(*value) : QVariant();
    };
    query.bindValue(QStringLiteral(":market_home"), percent(p.market_home_pct));
    query.bindValue(QStringLiteral(":market_draw"), percent(p.market_draw_pct));
    query.bindValue(QStringLiteral(":market_away"), percent(p.market_away_pct));
    query.bindValue(QStringLiteral(":market_provider"), text(p.market_provider));
    query.bindValue(QStringLiteral(":kickoff_state"), text(p.kickoff_state));
    query.bindValue(QStringLiteral(":json"),
                    QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact)));
}

const QString Columns =
    QStringLiteral("identity, created_at, league, match_id, confidence, outcome, home_pct, "
                   "draw_pct, away_pct, actual_home, actual_away, checked, correct, search, market_home, "
                   "market_draw, market_away, market_provider, kickoff_state, json");
const QString Values = QStringLiteral(
    ":identity, :created_at, :league, :match_id, :confidence, :outcome, :home_pct, "
    ":draw_pct, :away_pct, :actual_home, :actual_away, :checked, :correct, "
    ":search, :market_home, :market_draw, :market_away, :market_provider, :kickoff_state, :json");

QList<Prediction> predictionsOf(QSqlQuery &query)
{
    QList<Prediction> list;
    while (query.next())
        list.append(
            Prediction::fromJson(QJsonDocument::fromJson(query.value(0).toString().toUtf8()).object()));
    return list;
}

// The WHERE clause of a filter, with its values bound by the caller through
// bindFilter.
QString whereOf(const HistoryFilter &filter)
{
    QStringList terms;
    switch (filter.result) {
    case HistoryFilter::Result::Any:
        break;
    case HistoryFilter::Result::Unchecked:
        terms << QStringLiteral("checked = 0");
        break;
    case HistoryFilter::Result::Correct:
        terms << QStringLiteral("correct = 1");
        break;
    case HistoryFilter::Result::Wrong:
        terms << QStringLiteral("correct = 0");
        break;
    }
    if (filter.minConfidence > 0)
        terms << QStringLiteral("confidence >= :min_confidence");
    if (!filter.league.isEmpty())
        terms << QStringLiteral("league = :league");
    if (!filter.text.isEmpty())
        terms << QStringLiteral("instr(search, :text) > 0");
    if (filter.upTo >= 0)
        terms << QStringLiteral("seq <= :up_to");
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

void bindFilter(QSqlQuery &query, const HistoryFilter &filter)
{
    if (filter.minConfidence > 0)
        query.bindValue(QStringLiteral(":min_confidence"), filter.minConfidence);
    if (!filter.league.isEmpty())
        query.bindValue(QStringLiteral(":league"), filter.league);
    if (!filter.text.isEmpty())
        query.bindValue(QStringLiteral(":text"), filter.text.toLower());
    if (filter.upTo >= 0)
        query.bindValue(QStringLiteral(":up_to"), filter.upTo);
}

qint64 scalar(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next()) {
        logFailure("reading", query);
        return 0;
    }
    return query.value(0).toLongLong();
}

QString stamped(const QString &path, const char *suffix)
{
    return path + QLatin1String(suffix) +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace

HistoryStore::HistoryStore(QString databasePath)
    : m_path(std::move(databasePath))
    , m_instance(nextInstance.fetchAndAddRelaxed(1))
{}

void HistoryStore::openInBackground() const
{
    // The first use may be a reading one: opening belongs to it all the same.
    std::call_once(m_openingStarted, [this]() {
        m_opened =
            std::async(std::launch::async, [this]() { const_cast<HistoryStore *>(this)->open(); }).share();
    });
}

void HistoryStore::waitUntilOpen() const
{
    openInBackground();
    m_opened.wait();
}

void HistoryStore::open()
{
    openingStore = this;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (!openHealthy()) {
        moveAside();
        openHealthy();
    }
    createSchema();
    importLegacyFile(QFileInfo(m_path).dir().filePath(QStringLiteral("history.json")));
    // This thread ends here, and a later thread may get its address: its
    // connection must not outlive it.
    closeThisThreadsConnection();
}

HistoryStore::~HistoryStore()
{
    if (m_opened.valid())
        m_opened.wait();
    // Connections of other threads end with their threads' last use; only
    // this thread may close its own.
    closeThisThreadsConnection();
}

void HistoryStore::closeThisThreadsConnection() const
{
    const QMutexLocker locker(&m_lock);
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (it.value() == QThread::currentThread()) {
            QSqlDatabase::removeDatabase(it.key());
            it = m_connections.erase(it);
        } else {
            ++it;
        }
    }
}

QString HistoryStore::setAsideCopy() const
{
    waitUntilOpen();
    return m_setAside;
}

QSqlDatabase HistoryStore::connection() const
{
    // The opening itself uses the database before it is open to others.
    if (openingStore != this)
        waitUntilOpen();
    const QString name =
        QStringLiteral("tolvo-history-%1-%2").arg(m_instance).arg(quintptr(QThread::currentThread()));
    {
        const QMutexLocker locker(&m_lock);
        if (m_connections.contains(name))
            return QSqlDatabase::database(name, false);
        m_connections.insert(name, QThread::currentThread());
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open()) {
        appLog(QStringLiteral("History database: cannot open %1: %2").arg(m_path, db.lastError().text()));
        return db;
    }
    QSqlQuery pragma(db);
    // Readers never wait for a writer, and a commit costs no disk flush (the
    // log is flushed at checkpoints); a crash can lose at most the last
    // changes, never the database.
    pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    pragma.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    return db;
}

bool HistoryStore::openHealthy()
{
    QSqlDatabase db = connection();
    if (!db.isOpen())
        return !QFile::exists(m_path);
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check")))
        return isBusy(check.lastError());
    return check.next() && check.value(0).toString() == QLatin1String("ok");
}

void HistoryStore::moveAside()
{
    {
        const QMutexLocker locker(&m_lock);
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
            QSqlDatabase::removeDatabase(it.key());
        m_connections.clear();
    }
    m_setAside = stamped(m_path, ".corrupt-");
    const bool moved = QFile::rename(m_path, m_setAside);
    // The write-ahead log belongs to the broken file; the shared-memory index
    // is rebuilt from nothing.
    QFile::rename(m_path + QStringLiteral("-wal"), m_setAside + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    if (moved) {
        appLog(QStringLiteral("%1 is not a readable database; kept it as %2 and started a fresh one")
                   .arg(m_path, m_setAside));
    } else {
        appLog(QStringLiteral("%1 is not a readable database and could not be moved aside").arg(m_path));
        m_setAside.clear();
    }
}

void HistoryStore::createSchema()
{
    QSqlQuery query(connection());
    // seq is the order of arrival: the newest entry has the largest.
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS predictions ("
                                   " seq INTEGER PRIMARY KEY,"
                                   " identity TEXT NOT NULL UNIQUE,"
                                   " created_at TEXT NOT NULL,"
                                   " league TEXT NOT NULL,"
                                   " match_id TEXT NOT NULL,"
                                   " confidence INTEGER NOT NULL,"
                                   " outcome TEXT NOT NULL,"
                                   " home_pct INTEGER NOT NULL,"
                                   " draw_pct INTEGER NOT NULL,"
                                   " away_pct INTEGER NOT NULL,"
                                   " actual_home INTEGER NOT NULL,"
                                   " actual_away INTEGER NOT NULL,"
                                   " checked INTEGER NOT NULL,"
                                   " correct INTEGER,"
                                   " search TEXT NOT NULL,"
                                   " json TEXT NOT NULL)")))
        logFailure("creating the table", query);
    // The scores also need the market snapshot and the kick-off state. A
    // database made before they had columns of their own gets them, filled
    // from the stored JSON once.
    QSqlQuery columns(
        QStringLiteral("SELECT 1 FROM pragma_table_info('predictions') WHERE name = 'market_home'"),
        connection());
    if (!columns.next()) {
        const auto number = [](const char *key) {
            return QStringLiteral("CASE WHEN json_type(json, '$.%1') IN ('integer', 'real') "
                                  "THEN json_extract(json, '$.%1') END")
                .arg(QLatin1String(key));
        };
        const auto label = [](const char *key) {
            return QStringLiteral(
                       "CASE WHEN json_type(json, '$.%1') = 'text' THEN json_extract(json, '$.%1') "
                       "ELSE '' END")
                .arg(QLatin1String(key));
        };
        const bool added =
            query.exec(QStringLiteral("BEGIN IMMEDIATE")) &&
            query.exec(QStringLiteral("ALTER TABLE predictions ADD COLUMN market_home REAL")) &&
            query.exec(QStringLiteral("ALTER TABLE predictions ADD COLUMN market_draw REAL")) &&
            query.exec(QStringLiteral("ALTER TABLE predictions ADD COLUMN market_away REAL")) &&
            query.exec(QStringLiteral(
                "ALTER TABLE predictions ADD COLUMN market_provider TEXT NOT NULL DEFAULT ''")) &&
            query.exec(QStringLiteral(
                "ALTER TABLE predictions ADD COLUMN kickoff_state TEXT NOT NULL DEFAULT ''")) &&
            query.exec(
                QStringLiteral("UPDATE predictions SET market_home = %1, market_draw = %2, market_away = %3, "
                               "market_provider = %4, kickoff_state = %5")
                    .arg(number("market_home_pct"), number("market_draw_pct"), number("market_away_pct"),
                         label("market_provider"), label("kickoff_state"))) &&
            query.exec(QStringLiteral("COMMIT"));
        if (!added) {
            logFailure("adding the market columns", query);
            query.exec(QStringLiteral("ROLLBACK"));
        }
    }
    // The league list and filter read it alone.
    if (!query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS predictions_league ON predictions (league)")))
        logFailure("creating an index", query);
    // Everything the statistics read, so that they never touch the JSON
    // pages of a long history.
    if (!query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS predictions_scores ON predictions (checked, "
                                   "seq, identity, created_at, "
                                   "league, confidence, outcome, home_pct, draw_pct, away_pct, actual_home, "
                                   "actual_away, market_home, "
                                   "market_draw, market_away, market_provider, kickoff_state)")))
        logFailure("creating an index", query);
}

void HistoryStore::importLegacyFile(const QString &legacyPath)
{
    if (!QFile::exists(legacyPath) || count() > 0)
        return;
    const HistoryImport result = upsert(loadArray(legacyPath));
    // Another process may have moved it in meanwhile; then the file is gone.
    QString target = legacyPath + QStringLiteral(".imported");
    if (QFile::exists(target))
        target = stamped(target, "-");
    if (!QFile::exists(legacyPath))
        return;
    if (!QFile::rename(legacyPath, target))
        appLog(QStringLiteral("Could not rename %1 after moving its predictions in").arg(legacyPath));
    appLog(QStringLiteral("Moved %1 predictions from %2 into %3; %4 unreadable entries skipped")
               .arg(result.added + result.updated)
               .arg(legacyPath, m_path)
               .arg(result.skipped));
}

HistoryImport HistoryStore::upsert(const QJsonArray &entries)
{
    HistoryImport result;
    QSqlDatabase db = connection();
    QSqlQuery query(db);
    // One transaction for the whole file, taken for writing at once: a
    // deferred one could not be upgraded while another process writes.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        logFailure("starting an import", query);
        return result;
    }
    const qint64 before = scalar(db, QStringLiteral("SELECT count(*) FROM predictions"));
    query.prepare(
        QStringLiteral("INSERT INTO predictions (%1) VALUES (%2) ON CONFLICT(identity) DO UPDATE SET "
                       "created_at = excluded.created_at, league = excluded.league, "
                       "match_id = excluded.match_id, confidence = excluded.confidence, "
                       "outcome = excluded.outcome, home_pct = excluded.home_pct, "
                       "draw_pct = excluded.draw_pct, away_pct = excluded.away_pct, "
                       "actual_home = excluded.actual_home, actual_away = excluded.actual_away, "
                       "checked = excluded.checked, correct = excluded.correct, "
                       "search = excluded.search, market_home = excluded.market_home, "
                       "market_draw = excluded.market_draw, market_away = excluded.market_away, "
                       "market_provider = excluded.market_provider, kickoff_state = excluded.kickoff_state, "
                       "json = excluded.json")
            .arg(Columns, Values));
    int stored = 0;
    // Oldest first, so that the newest entry ends up at the front.
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        const QJsonObject entry = entries.at(i).toObject();
        if (!entries.at(i).isObject() || identityOf(entry).isEmpty()) {
            ++result.skipped;
            continue;
        }
        bindEntry(query, entry);
        if (query.exec())
            ++stored;
        else
            logFailure("importing an entry", query);
    }
    QSqlQuery commit(db);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        logFailure("finishing an import", commit);
        commit.exec(QStringLiteral("ROLLBACK"));
        return {0, 0, result.skipped};
    }
    result.added = int(scalar(db, QStringLiteral("SELECT count(*) FROM predictions")) - before);
    result.updated = stored - result.added;
    changed();
    return result;
}

HistoryImport HistoryStore::importEntries(const QJsonArray &entries)
{
    return upsert(entries);
}

void HistoryStore::add(const Prediction &prediction)
{
    QSqlQuery query(connection());
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO predictions (%1) VALUES (%2)").arg(Columns, Values));
    bindEntry(query, prediction.toJson());
    if (!query.exec())
        logFailure("adding a prediction", query);
    changed();
}

void HistoryStore::update(const Prediction &prediction)
{
    QSqlQuery query(connection());
    query.prepare(
        QStringLiteral("UPDATE predictions SET identity = :identity, created_at = :created_at, "
                       "league = :league, match_id = :match_id, confidence = :confidence, "
                       "outcome = :outcome, home_pct = :home_pct, draw_pct = :draw_pct, "
                       "away_pct = :away_pct, actual_home = :actual_home, actual_away = :actual_away, "
                       "checked = :checked, correct = :correct, search = :search, "
                       "market_home = :market_home, market_draw = :market_draw, market_away = :market_away, "
                       "market_provider = :market_provider, kickoff_state = :kickoff_state, json = :json "
                       "WHERE identity = :key"));
    // Entries stored without an id get a fresh one each time they are read,
    // so their creation time is the only stable identity left; once updated
    // they keep the id they were read with.
    for (const QString &key : {prediction.id, prediction.created_at}) {
        if (key.isEmpty())
            continue;
        bindEntry(query, prediction.toJson());
        query.bindValue(QStringLiteral(":key"), key);
        if (!query.exec()) {
            logFailure("updating a prediction", query);
            return;
        }
        if (query.numRowsAffected() > 0) {
            changed();
            return;
        }
    }
}

void HistoryStore::clear()
{
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("DELETE FROM predictions")))
        logFailure("clearing", query);
    changed();
}

QList<Prediction> HistoryStore::all() const
{
    return find(HistoryFilter{});
}

int HistoryStore::count() const
{
    return int(scalar(connection(), QStringLiteral("SELECT count(*) FROM predictions")));
}

int HistoryStore::count(const HistoryFilter &filter) const
{
    QSqlQuery query(connection());
    query.prepare(QStringLiteral("SELECT count(*) FROM predictions") + whereOf(filter));
    bindFilter(query, filter);
    if (!query.exec() || !query.next()) {
        logFailure("counting", query);
        return 0;
    }
    return query.value(0).toInt();
}

QList<Prediction> HistoryStore::find(const HistoryFilter &filter, int offset, int limit) const
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT json FROM predictions") + whereOf(filter) +
                  QStringLiteral(" ORDER BY seq DESC LIMIT :limit OFFSET :offset"));
    bindFilter(query, filter);
    query.bindValue(QStringLiteral(":limit"), limit);
    query.bindValue(QStringLiteral(":offset"), std::max(offset, 0));
    if (!query.exec()) {
        logFailure("reading", query);
        return {};
    }
    return predictionsOf(query);
}

QList<Prediction> HistoryStore::checked() const
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT identity, created_at, league, confidence, outcome, home_pct, draw_pct, "
            "away_pct, actual_home, actual_away, market_home, market_draw, market_away, "
            "market_provider, kickoff_state FROM predictions WHERE checked = 1 ORDER BY seq DESC"))) {
        logFailure("reading", query);
        return {};
    }
    QList<Prediction> list;
    while (query.next()) {
        Prediction p;
        p.id = query.value(0).toString();
        p.created_at = query.value(1).toString();
        p.league = query.value(2).toString();
        p.confidence = query.value(3).toInt();
        p.outcome = query.value(4).toString();
        p.home_win_pct = query.value(5).toInt();
        p.draw_pct = query.value(6).toInt();
        p.away_win_pct = query.value(7).toInt();
        p.actual_home_score = query.value(8).toInt();
        p.actual_away_score = query.value(9).toInt();
        const auto market = [&query](int column) -> std::optional<double> {
            const QVariant v = query.value(column);
            return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
        };
        p.market_home_pct = market(10);
        p.market_draw_pct = market(11);
        p.market_away_pct = market(12);
        p.market_provider = query.value(13).toString();
        p.kickoff_state = query.value(14).toString();
        list.append(p);
    }
    return list;
}

QStringList HistoryStore::leagues() const
{
    QSqlQuery query(connection());
    QStringList list;
    if (!query.exec(
            QStringLiteral("SELECT DISTINCT league FROM predictions WHERE league <> '' ORDER BY league"))) {
        logFailure("reading", query);
        return list;
    }
    while (query.next())
        list.append(query.value(0).toString());
    return list;
}

qint64 HistoryStore::latestEntry() const
{
    return scalar(connection(), QStringLiteral("SELECT coalesce(max(seq), 0) FROM predictions"));
}

quint64 HistoryStore::changeStamp() const
{
    // data_version moves when another connection commits; this store's own
    // writes go through this thread's connection and are counted here.
    const quint64 others = quint64(scalar(connection(), QStringLiteral("PRAGMA data_version")));
    return (others << 32) | m_localWrites;
}

QJsonArray HistoryStore::toJsonArray() const
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    QJsonArray array;
    if (!query.exec(QStringLiteral("SELECT json FROM predictions ORDER BY seq DESC"))) {
        logFailure("reading", query);
        return array;
    }
    while (query.next())
        array.append(QJsonDocument::fromJson(query.value(0).toString().toUtf8()).object());
    return array;
}

void HistoryStore::changed()
{
    ++m_localWrites;
}
