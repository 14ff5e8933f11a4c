#pragma once

#include "Prediction.h"

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <future>
#include <mutex>

class QSqlDatabase;
class QThread;

// Which stored predictions a list shows. Every field left at its default
// lets everything through.
struct HistoryFilter
{
    enum class Result { Any, Unchecked, Correct, Wrong };

    Result result = Result::Any;
    int minConfidence = 0;
    QString league;   // exactly this league; empty for every league
    QString text;     // found in the match label or the league, in any case
    qint64 upTo = -1; // entries stored at or before latestEntry() of that time; -1 for all
};

// Counts of one import: new predictions, stored ones replaced by the file's
// version, and entries that were not predictions at all.
struct HistoryImport
{
    int added = 0;
    int updated = 0;
    int skipped = 0;
};

// Every prediction ever made, newest first, in an SQLite database that the
// program and the command-line tool share: each change is one short
// transaction, so writers in several processes never undo each other.
//
// Each thread talks to the database through its own connection; a store may
// be used from any thread, and several stores (in one process or several)
// may open the same file.
//
// The stored form of a prediction is its JSON object exactly as history.json
// held it; the other columns only serve queries. The identity of an entry is
// its "id", or its "created_at" when the id is empty.
class HistoryStore
{
public:
    // Opens (or creates) the database on a thread of its own, at the first
    // call of any function below (which waits for it) or when
    // openInBackground() asks. A file that is not a healthy database is moved
    // aside as "<name>.corrupt-<time>" and a fresh one started. At the first
    // start that finds a history.json beside it and no prediction in the
    // database, the file's entries are moved in and it is renamed
    // "history.json.imported".
    explicit HistoryStore(QString databasePath);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // Starts the opening without waiting for it.
    void openInBackground() const;

    // Puts a prediction at the front (a stored entry of the same identity
    // gives way to it).
    void add(const Prediction &prediction);
    // Replaces the stored entry of the same prediction in place; an unknown
    // prediction is not added.
    void update(const Prediction &prediction);
    void clear();
    QList<Prediction> all() const;
    // Every change is committed when it is made; kept for callers that save
    // after a batch.
    void save() {}

    int count() const;
    int count(const HistoryFilter &filter) const;
    // The entries that pass the filter, newest first, from `offset` on; a
    // negative limit means all.
    QList<Prediction> find(const HistoryFilter &filter, int offset = 0, int limit = -1) const;
    // Every prediction whose result is known, newest first, with the fields
    // the statistics read (call, chances, confidence, league, time, result,
    // id); the written reasoning and the rest stay empty. Read from columns,
    // so a long history costs no JSON parsing.
    QList<Prediction> checked() const;
    // The leagues of the stored predictions, sorted, without the empty one.
    QStringList leagues() const;
    // The position of the newest entry; later entries have larger ones.
    qint64 latestEntry() const;
    // Changes whenever the stored predictions change, in this process or in
    // any other. Cheap enough to ask every few seconds.
    quint64 changeStamp() const;

    // The stored JSON objects, newest first: the form of history.json.
    QJsonArray toJsonArray() const;
    // Adds the entries of a history.json-shaped array (newest first); an
    // entry whose identity is stored already replaces that entry in place.
    HistoryImport importEntries(const QJsonArray &entries);

    // Where an unreadable database was moved when this store opened it;
    // empty when it opened cleanly.
    QString setAsideCopy() const;

    QString path() const { return m_path; }

private:
    // This thread's connection, once the store has opened.
    QSqlDatabase connection() const;
    void closeThisThreadsConnection() const;
    void open();
    void waitUntilOpen() const;
    bool openHealthy();
    void moveAside();
    void createSchema();
    void importLegacyFile(const QString &legacyPath);
    HistoryImport upsert(const QJsonArray &entries);
    void changed();

    QString m_path;
    QString m_setAside;
    int m_instance;
    mutable QMutex m_lock;
    // Connection names and the threads that opened them.
    mutable QHash<QString, QThread *> m_connections;
    std::atomic<quint32> m_localWrites{0};
    // Checking and creating the database is the slowest part of starting
    // the program; the window has it done once its first frame is shown.
    mutable std::once_flag m_openingStarted;
    mutable std::shared_future<void> m_opened;
};
