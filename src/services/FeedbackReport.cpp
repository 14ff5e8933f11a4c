#include "FeedbackReport.h"

#include "app/Constants.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "data/BlockingRequest.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>

namespace {

struct CategoryStyle
{
    QString title;
    int colour;
};

CategoryStyle styleFor(const QString &category)
{
    if (category == QLatin1String("idea"))
        return {QString::fromUtf8("\xF0\x9F\x92\xA1 Idea"), 6003952};
    if (category == QLatin1String("question"))
        return {QString::fromUtf8("\xE2\x9D\x93 Question"), 10189792};
    if (category == QLatin1String("praise"))
        return {QString::fromUtf8("\xF0\x9F\x92\x9A Praise"), 1880154};
    return {QString::fromUtf8("\xF0\x9F\x90\x9E Bug report"), 15245626};
}

QString severityLabel(const QString &severity)
{
    if (severity == QLatin1String("minor"))
        return QString::fromUtf8("Minor \xE2\x80\x94 a bit annoying");
    if (severity == QLatin1String("blocker"))
        return QString::fromUtf8("Blocking \xE2\x80\x94 can't use it");
    return QString::fromUtf8("Major \xE2\x80\x94 gets in the way");
}

QJsonObject field(const char *utf8Name, const QString &value)
{
    return QJsonObject{{QStringLiteral("name"), QString::fromUtf8(utf8Name)},
                       {QStringLiteral("value"), value},
                       {QStringLiteral("inline"), true}};
}

QHttpPart filePart(const QByteArray &name, const QByteArray &fileName, const QByteArray &type,
                   const QByteArray &body)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QByteArray("form-data; name=\"" + name + "\"; filename=\"" + fileName + "\""));
    part.setHeader(QNetworkRequest::ContentTypeHeader, type);
    part.setBody(body);
    return part;
}

QJsonObject buildPayload(const QString &message, const QString &category, const QString &severity,
                         const QString &reporterName, bool withScreenshot, bool withLog)
{
    const QString type = category.isEmpty() ? QStringLiteral("Bug") : titleCase(category);
    const QString build = APP_NAME + QStringLiteral(" v") + APP_VERSION;
    const CategoryStyle style = styleFor(category);
    const QString attachmentIcon = QStringLiteral("attachment://tolvo_icon.png");

    QJsonArray fields;
    fields.append(field("\xF0\x9F\x8F\xB7\xEF\xB8\x8F  Type", type));
    fields.append(
        field("\xF0\x9F\x91\xA4  From", reporterName.isEmpty() ? QStringLiteral("Anonymous") : reporterName));
    if (category == QLatin1String("bug") && !severity.isEmpty())
        fields.append(field("\xF0\x9F\x8C\xA1\xEF\xB8\x8F  Severity", severityLabel(severity)));
    fields.append(field("\xF0\x9F\x96\xA5\xEF\xB8\x8F  Platform", QSysInfo::prettyProductName()));
    fields.append(field("\xF0\x9F\x93\xA6  Build", build));
    if (withLog)
        fields.append(field("\xF0\x9F\x93\x9C  Log", QStringLiteral("Attached: log.txt")));

    const QString trimmed = message.trimmed();
    QString description;
    if (!trimmed.isEmpty())
        description =
            QStringLiteral("> ") + QString(trimmed).replace(QLatin1Char('\n'), QStringLiteral("\n> "));

    QJsonObject embed{
        {QStringLiteral("author"),
         QJsonObject{{QStringLiteral("name"), QString(build + QString::fromUtf8("  \xC2\xB7  ") + type)},
                     {QStringLiteral("icon_url"), attachmentIcon}}},
        {QStringLiteral("title"), style.title},
        {QStringLiteral("description"), description},
        {QStringLiteral("color"), style.colour},
        {QStringLiteral("timestamp"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("thumbnail"), QJsonObject{{QStringLiteral("url"), attachmentIcon}}},
        {QStringLiteral("fields"), fields},
        {QStringLiteral("footer"),
         QJsonObject{{QStringLiteral("text"), QString::fromUtf8("Tolvo \xC2\xB7 Send Feedback")}}},
    };
    if (withScreenshot)
        embed.insert(QStringLiteral("image"),
                     QJsonObject{{QStringLiteral("url"), QStringLiteral("attachment://screenshot.png")}});
    return QJsonObject{{QStringLiteral("embeds"), QJsonArray{embed}}};
}

} // namespace

QString titleCase(const QString &text)
{
    if (text.isEmpty())
        return text;
    return text.left(1).toUpper() + text.mid(1);
}

QString reportLogText()
{
    QString log = readRecentLog(300);
    const QString home = QDir::homePath();
    // Both spellings: Qt writes "/", Windows messages may quote "\".
    if (home.size() > 1) {
        log.replace(home, QStringLiteral("~"), Qt::CaseSensitive);
        log.replace(QDir::toNativeSeparators(home), QStringLiteral("~"), Qt::CaseSensitive);
    }
    return log;
}

QString reportPreview(const QString &message, const QString &category, const QString &severity,
                      const QString &reporterName, bool withScreenshot, const QString &logText)
{
    const bool withLog = !logText.trimmed().isEmpty();
    QString text = QString::fromUtf8(
        QJsonDocument(buildPayload(message, category, severity, reporterName, withScreenshot, withLog))
            .toJson(QJsonDocument::Indented));
    if (withScreenshot)
        text += QStringLiteral("\nscreenshot.png: a picture of your desktop\n");
    if (withLog)
        text += QStringLiteral("\nlog.txt:\n") + logText;
    return text;
}

void sendReport(const QString &message, const QString &category, const QString &severity,
                const QString &reporterName, const QByteArray &screenshotPng, const QString &logText,
                const RelayConfig &relay, int timeoutMs)
{
    if (relay.baseUrl.isEmpty() || relay.token.isEmpty())
        throw ReportError(QStringLiteral("No report channel configured for this build."));

    const bool withLog = !logText.trimmed().isEmpty();
    const QJsonObject payload =
        buildPayload(message, category, severity, reporterName, !screenshotPng.isEmpty(), withLog);

    auto *multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart payloadPart;
    payloadPart.setHeader(QNetworkRequest::ContentDispositionHeader,
                          QByteArray("form-data; name=\"payload_json\""));
    payloadPart.setBody(QJsonDocument(payload).toJson(QJsonDocument::Compact));
    multiPart->append(payloadPart);

    QFile icon(assetPath({QStringLiteral("icons"), QStringLiteral("tolvo_256.png")}));
    if (icon.open(QIODevice::ReadOnly))
        multiPart->append(filePart("icon", "tolvo_icon.png", "image/png", icon.readAll()));
    if (!screenshotPng.isEmpty())
        multiPart->append(filePart("screenshot", "screenshot.png", "image/png", screenshotPng));
    if (withLog)
        multiPart->append(filePart("log", "log.txt", "text/plain; charset=utf-8", logText.toUtf8()));

    QNetworkRequest request(QUrl(relay.baseUrl + QStringLiteral("/report")));
    request.setRawHeader("Authorization", "Bearer " + relay.token.toUtf8());
    const HttpReply reply = blockingPost(request, multiPart, {timeoutMs, 64 * 1024});
    if (reply.timedOut)
        throw ReportError(QStringLiteral("Couldn't reach the report channel: timed out."));
    if (reply.error != QNetworkReply::NoError)
        throw ReportError(QStringLiteral("Couldn't reach the report channel: ") + reply.errorText);
    if (reply.status > 399)
        throw ReportError(QStringLiteral("Couldn't reach the report channel: HTTP %1").arg(reply.status));
}
