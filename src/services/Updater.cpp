#include "Updater.h"

#include "BuildConfig.h"
#include "app/Log.h"
#include "data/CachedJsonClient.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <atomic>
#include <memory>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace {

std::atomic<int> g_versionTimeoutMs{8000};

// Runs one GET in a private event loop; a limit of 0 waits for as long as it takes.
std::unique_ptr<QNetworkReply> blockingGet(QNetworkAccessManager &manager, const QString &url, int limitMs)
{
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(QUrl(url))));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer timer;
    if (limitMs > 0) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(limitMs);
    }
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished())
        reply->abort();
    return reply;
}

bool launch(const QString &path)
{
#ifdef Q_OS_WIN
    const std::wstring file = path.toStdWString();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info);
#else
    Q_UNUSED(path);
    return false;
#endif
}

} // namespace

QString updateBaseUrl()
{
    return QStringLiteral(TOLVO_UPDATE_BASE);
}

void setVersionCheckTimeoutMs(int ms)
{
    g_versionTimeoutMs = ms;
}

bool canRunInstaller()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}

QString fetchLatestVersion(const QString &base)
{
    const QString unreachable = QStringLiteral("Couldn't reach the update server.");
    if (base.isEmpty())
        throw ApiError(unreachable);
    QNetworkAccessManager manager;
    const auto reply = blockingGet(manager, base + QStringLiteral("/version.txt"), g_versionTimeoutMs.load());
    QString version;
    if (reply->isFinished() && reply->error() == QNetworkReply::NoError)
        version = QString::fromUtf8(reply->readAll()).trimmed();
    if (version.isEmpty())
        throw ApiError(unreachable);
    return version;
}

QString downloadInstaller(const QString &base)
{
    const QString target = QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/Tolvo-Setup.exe"));
    if (base.isEmpty())
        throw ApiError(
            QString::fromUtf8("Download failed \xE2\x80\x94 the update server may be unreachable."));
    QNetworkAccessManager manager;
    const auto reply = blockingGet(manager, base + QStringLiteral("/Tolvo-Setup.exe"), 0);
    if (reply->error() != QNetworkReply::NoError)
        throw ApiError(
            QString::fromUtf8("Download failed \xE2\x80\x94 the update server may be unreachable."));
    const QByteArray body = reply->readAll();
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(body) != body.size())
        throw ApiError(QStringLiteral("Couldn't save the downloaded installer to disk."));
    file.close();
    return target;
}

void applyUpdateAndRestart(const QString &base)
{
    const QString path = downloadInstaller(base);
    appLog(QStringLiteral("[update] launching installer (visible): %1").arg(path));
    if (!launch(path))
        throw ApiError(QStringLiteral("Couldn't start the downloaded installer."));
}
