#include "Updater.h"

#include "BuildConfig.h"
#include "app/Log.h"
#include "data/CachedJsonClient.h"

#include "data/BlockingRequest.h"
#include "services/UpdateSignature.h"

#include <QDir>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <array>
#include <optional>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace {

constexpr qint64 MaxVersionBytes = 64;
constexpr qint64 MaxInstallerBytes = 256 * 1024 * 1024;
constexpr qint64 MaxSignatureBytes = 4096;

QString downloadFailed()
{
    return QString::fromUtf8("Download failed \xE2\x80\x94 the update server may be unreachable.");
}

// Requests to the update server follow no redirects: what is fetched comes
// from the configured address and nowhere else.
QNetworkRequest updateRequest(const QString &base, const QString &file)
{
    QNetworkRequest request(QUrl(base + file));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

// "1.5.5" → {1, 5, 5}; anything else → nothing.
std::optional<std::array<int, 3>> parseVersion(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,6})\\.(\\d{1,6})\\.(\\d{1,6})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return std::array<int, 3>{match.captured(1).toInt(), match.captured(2).toInt(),
                              match.captured(3).toInt()};
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
    // Set but empty in the environment means "no update server".
    if (qEnvironmentVariableIsSet("TOLVO_UPDATE_BASE"))
        return qEnvironmentVariable("TOLVO_UPDATE_BASE");
    return QStringLiteral(TOLVO_UPDATE_BASE);
}

QString updatePublicKey()
{
    return QStringLiteral(TOLVO_UPDATE_PUBKEY);
}

bool canRunInstaller(const QString &publicKey)
{
#ifdef Q_OS_WIN
    return !publicKey.isEmpty();
#else
    Q_UNUSED(publicKey);
    return false;
#endif
}

bool isNewerVersion(const QString &latest, const QString &current)
{
    const auto offered = parseVersion(latest);
    const auto running = parseVersion(current);
    return offered && running && *offered > *running;
}

QString fetchLatestVersion(const QString &base, int timeoutMs)
{
    const QString unreachable = QStringLiteral("Couldn't reach the update server.");
    if (!isSecureOrLoopback(QUrl(base)))
        throw ApiError(unreachable);
    const HttpReply reply =
        blockingGet(updateRequest(base, QStringLiteral("/version.txt")), {timeoutMs, MaxVersionBytes});
    const QString version = reply.ok() ? QString::fromUtf8(reply.body).trimmed() : QString();
    if (version.isEmpty())
        throw ApiError(unreachable);
    return version;
}

QString downloadInstaller(const QString &base, const QString &publicKey, int timeoutMs)
{
    if (!isSecureOrLoopback(QUrl(base)))
        throw ApiError(downloadFailed());
    const HttpReply signature = blockingGet(updateRequest(base, QStringLiteral("/Tolvo-Setup.exe.minisig")),
                                            {timeoutMs, MaxSignatureBytes});
    if (!signature.ok())
        throw ApiError(downloadFailed());

    // A fresh name each time: nobody can put a file in place beforehand.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/Tolvo-Setup-XXXXXX.exe"));
    if (!file.open())
        throw ApiError(QStringLiteral("Couldn't save the downloaded installer to disk."));
    const HttpReply reply = blockingGet(updateRequest(base, QStringLiteral("/Tolvo-Setup.exe")),
                                        {timeoutMs, MaxInstallerBytes, &file});
    if (!reply.ok())
        throw ApiError(downloadFailed());
    if (!file.flush())
        throw ApiError(QStringLiteral("Couldn't save the downloaded installer to disk."));
    file.close();
    if (!verifyMinisign(file.fileName(), signature.body, publicKey)) {
        appLog(QStringLiteral("[update] signature check failed for %1").arg(file.fileName()));
        throw ApiError(QStringLiteral("The downloaded update failed its signature check and was deleted."));
    }
    file.setAutoRemove(false);
    return QDir::toNativeSeparators(file.fileName());
}

void applyUpdateAndRestart(const QString &base, const QString &publicKey)
{
    const QString path = downloadInstaller(base, publicKey);
    appLog(QStringLiteral("[update] launching installer (visible): %1").arg(path));
    if (!launch(path))
        throw ApiError(QStringLiteral("Couldn't start the downloaded installer."));
}
