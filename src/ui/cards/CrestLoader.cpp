#include "CrestLoader.h"

#include "MatchCard.h"
#include "app/Paths.h"
#include "ui/app/AppContext.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFutureWatcher>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QPixmapCache>
#include <QPointer>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Crests are shown at 40 px; keeping twice that covers high-density screens
// while a full-size 500 px crest would cost a megabyte per team in memory.
constexpr int KEPT_SIZE = 2 * MatchCard::CrestSize;

const QString DOWNLOADS_NAME = QStringLiteral("TolvoCrestDownloads");

QImage decodeCrest(const QByteArray &bytes)
{
    QImage image;
    if (bytes.isEmpty() || !image.loadFromData(bytes) || image.isNull())
        return {};
    if (image.width() > KEPT_SIZE || image.height() > KEPT_SIZE)
        image = image.scaled(KEPT_SIZE, KEPT_SIZE, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QString memoryKey(const QString &cachePath)
{
    return QStringLiteral("crest:") + cachePath;
}

struct Waiter
{
    QPointer<MatchCard> card;
    QString side;
};

// The downloads running for one context, by URL: a page of sixty fixtures
// names the same club many times, and each crest is fetched only once.
class CrestDownloads : public QObject
{
public:
    explicit CrestDownloads(QObject *parent)
        : QObject(parent)
    {
        setObjectName(DOWNLOADS_NAME);
    }

    QHash<QString, QList<Waiter>> pending;
};

CrestDownloads *downloadsOf(AppContext *context)
{
    // Owned by the context, so a context that goes away (in tests) takes its
    // bookkeeping along with the watchers it owns.
    auto *downloads = static_cast<CrestDownloads *>(
        context->findChild<QObject *>(DOWNLOADS_NAME, Qt::FindDirectChildrenOnly));
    if (!downloads)
        downloads = new CrestDownloads(context);
    return downloads;
}

} // namespace

QString crestCachePath(const QString &url)
{
    const QByteArray hash = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex();
    return crestCacheDir().filePath(QString::fromLatin1(hash));
}

void loadCrest(AppContext *context, MatchCard *card, const QString &side, const QString &url)
{
    if (url.isEmpty() || !card)
        return;
    const QString path = crestCachePath(url);

    if (QFile::exists(path)) {
        QPixmap pixmap;
        if (QPixmapCache::find(memoryKey(path), &pixmap)) {
            card->setCrest(side, pixmap);
            return;
        }
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QImage image = decodeCrest(file.readAll());
            if (!image.isNull()) {
                pixmap = QPixmap::fromImage(image);
                QPixmapCache::insert(memoryKey(path), pixmap);
                card->setCrest(side, pixmap);
                return;
            }
        }
        // Unreadable or undecodable: fetched again below.
    }

    CrestDownloads *downloads = downloadsOf(context);
    QList<Waiter> &waiters = downloads->pending[url];
    waiters.append({card, side});
    if (waiters.size() > 1)
        return; // already on its way

    auto *watcher = new QFutureWatcher<QImage>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, downloads, url, path]() {
        watcher->deleteLater();
        const QList<Waiter> waiting = downloads->pending.take(url);
        const QImage image = watcher->result();
        if (image.isNull())
            return;
        const QPixmap pixmap = QPixmap::fromImage(image);
        if (QFile::exists(path))
            QPixmapCache::insert(memoryKey(path), pixmap);
        // Cards cleared from their list meanwhile are simply skipped: the
        // download still filled the cache for next time.
        for (const Waiter &waiter : waiting) {
            if (waiter.card)
                waiter.card->setCrest(waiter.side, pixmap);
        }
    });
    const EspnApi *api = &context->espn;
    watcher->setFuture(QtConcurrent::run(context->backgroundPool, [api, url, path]() -> QImage {
        const QByteArray bytes = api->fetchCrestBytes(url);
        const QImage image = decodeCrest(bytes);
        // Only images are kept: an error page served with status 200 would
        // otherwise stand in for the crest until the cache is cleared.
        if (image.isNull())
            return {};
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            file.commit();
        return image;
    }));
}
