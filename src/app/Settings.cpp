#include "Settings.h"

#include "FileIo.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

void readText(const QJsonObject &o, const char *key, QString &field)
{
    const auto it = o.constFind(QLatin1String(key));
    if (it != o.constEnd())
        field = it->toString();
}

void readBool(const QJsonObject &o, const char *key, bool &field)
{
    const auto it = o.constFind(QLatin1String(key));
    if (it != o.constEnd())
        field = it->toBool(false);
}

void readInt(const QJsonObject &o, const char *key, int &field)
{
    const auto it = o.constFind(QLatin1String(key));
    if (it == o.constEnd())
        return;
    // toInt() already gives 0 for non-numbers and non-integral doubles.
    field = it->toInt(0);
}

void readList(const QJsonObject &o, const char *key, QStringList &field)
{
    const auto it = o.constFind(QLatin1String(key));
    if (it == o.constEnd())
        return;
    field.clear();
    for (const QJsonValue &v : it->toArray())
        field.append(v.toString());
}

QJsonArray toArray(const QStringList &list)
{
    QJsonArray array;
    for (const QString &s : list)
        array.append(s);
    return array;
}

const QStringList &legacyFileNames()
{
    static const QStringList names = {QStringLiteral("settings.json"), QStringLiteral("favorites.json"),
                                      QStringLiteral("history.json"), QStringLiteral("chats.json")};
    return names;
}

} // namespace

Settings Settings::fromJson(const QJsonObject &o)
{
    Settings s;
    readText(o, "openai_api_key", s.openai_api_key);
    readText(o, "openai_model", s.openai_model);
    readText(o, "thinking_depth", s.thinking_depth);
    readBool(o, "sound_enabled", s.sound_enabled);
    if (o.contains(QLatin1String("sound_volume")))
        s.sound_volume = o.value(QLatin1String("sound_volume")).toDouble(0.0);
    readBool(o, "hover_sound_enabled", s.hover_sound_enabled);
    readText(o, "theme", s.theme);
    readText(o, "accent", s.accent);
    readText(o, "ui_style", s.ui_style);
    readBool(o, "sidebar_collapsed", s.sidebar_collapsed);
    readInt(o, "chat_memory_turns", s.chat_memory_turns);
    readInt(o, "live_refresh_seconds", s.live_refresh_seconds);
    readText(o, "start_page", s.start_page);
    readBool(o, "show_form_guide", s.show_form_guide);
    readBool(o, "confirm_before_predict", s.confirm_before_predict);
    readInt(o, "form_games", s.form_games);
    readInt(o, "upcoming_days", s.upcoming_days);
    readBool(o, "time_format_24h", s.time_format_24h);
    readBool(o, "compact_cards", s.compact_cards);
    readBool(o, "show_venue", s.show_venue);
    readBool(o, "walkthrough_seen", s.walkthrough_seen);
    readText(o, "reporter_name", s.reporter_name);
    readList(o, "favorite_league_ids", s.favorite_league_ids);
    readList(o, "recent_searches", s.recent_searches);
    readText(o, "openai_base_url", s.openai_base_url);
    s.file_api_key = s.openai_api_key;
    s.api_key_source = s.openai_api_key.isEmpty() ? ApiKeySource::None : ApiKeySource::File;
    readText(o, "goal_notifications", s.goal_notifications);
    return s;
}

QJsonObject Settings::toJson() const
{
    const bool keyFromElsewhere =
        api_key_source == ApiKeySource::Environment || api_key_source == ApiKeySource::Keychain;
    return QJsonObject{
        {QStringLiteral("openai_api_key"), keyFromElsewhere ? file_api_key : openai_api_key},
        {QStringLiteral("openai_model"), openai_model},
        {QStringLiteral("thinking_depth"), thinking_depth},
        {QStringLiteral("sound_enabled"), sound_enabled},
        {QStringLiteral("sound_volume"), sound_volume},
        {QStringLiteral("hover_sound_enabled"), hover_sound_enabled},
        {QStringLiteral("theme"), theme},
        {QStringLiteral("accent"), accent},
        {QStringLiteral("ui_style"), ui_style},
        {QStringLiteral("sidebar_collapsed"), sidebar_collapsed},
        {QStringLiteral("chat_memory_turns"), chat_memory_turns},
        {QStringLiteral("live_refresh_seconds"), live_refresh_seconds},
        {QStringLiteral("start_page"), start_page},
        {QStringLiteral("show_form_guide"), show_form_guide},
        {QStringLiteral("confirm_before_predict"), confirm_before_predict},
        {QStringLiteral("form_games"), form_games},
        {QStringLiteral("upcoming_days"), upcoming_days},
        {QStringLiteral("time_format_24h"), time_format_24h},
        {QStringLiteral("compact_cards"), compact_cards},
        {QStringLiteral("show_venue"), show_venue},
        {QStringLiteral("walkthrough_seen"), walkthrough_seen},
        {QStringLiteral("reporter_name"), reporter_name},
        {QStringLiteral("favorite_league_ids"), toArray(favorite_league_ids)},
        {QStringLiteral("recent_searches"), toArray(recent_searches)},
        {QStringLiteral("openai_base_url"), openai_base_url},
        {QStringLiteral("goal_notifications"), goal_notifications},
    };
}

Settings Settings::load()
{
    Settings settings;
    QFile file(settingsFilePath());
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        const QJsonDocument doc = QJsonDocument::fromJson(bytes);
        if (doc.isObject())
            settings = fromJson(doc.object());
        else if (!bytes.trimmed().isEmpty())
            keepCorruptCopy(settingsFilePath(), QStringLiteral("a JSON object"));
    }
    // The environment key wins even before the first save: a user who exports
    // OPENAI_API_KEY expects it to be used from the very first start.
    const QByteArray envKey = qgetenv("OPENAI_API_KEY");
    if (!envKey.isEmpty()) {
        settings.openai_api_key = QString::fromUtf8(envKey);
        settings.api_key_source = ApiKeySource::Environment;
    }
    return settings;
}

void Settings::useStoredKey(const QString &key, ApiKeySource where)
{
    file_api_key = where == ApiKeySource::File ? key : QString();
    if (api_key_source == ApiKeySource::Environment)
        return;
    openai_api_key = key;
    api_key_source = where;
}

void Settings::forgetStoredKey()
{
    file_api_key.clear();
    if (api_key_source == ApiKeySource::Environment)
        return;
    openai_api_key.clear();
    api_key_source = ApiKeySource::None;
}

bool Settings::save() const
{
    // The file holds the API key in plain text: keep it private to the user.
    return saveUserFile(settingsFilePath(), QJsonDocument(toJson()).toJson(QJsonDocument::Indented),
                        FileAccess::OwnerOnly);
}

QString findLegacyPortableData()
{
    if (QFileInfo::exists(configDir().filePath(QStringLiteral("settings.json"))))
        return {};

    const QDir exeDir(QCoreApplication::applicationDirPath());
    QStringList candidates = {exeDir.absolutePath()};
    QDir parent = exeDir;
    if (parent.cdUp()) {
        for (const QString &name : {QStringLiteral("Tolvo"), QStringLiteral("TolvoDir")}) {
            const QString candidate = parent.absoluteFilePath(name);
            if (QDir::cleanPath(candidate) != QDir::cleanPath(exeDir.absolutePath()))
                candidates.append(candidate);
        }
    }
    for (const QString &candidate : candidates) {
        const QDir dir(candidate);
        for (const QString &name : legacyFileNames()) {
            if (QFileInfo::exists(dir.filePath(name)))
                return dir.absolutePath();
        }
    }
    return {};
}

void migrateLegacyPortableData(const QString &path)
{
    const QDir source(path);
    for (const QString &name : legacyFileNames()) {
        const QDir destination = name == QLatin1String("settings.json") ? configDir() : dataDir();
        const QString from = source.filePath(name);
        const QString to = destination.filePath(name);
        if (QFileInfo::exists(from) && !QFileInfo::exists(to) && QFile::copy(from, to) &&
            destination == configDir())
            QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}
