#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// Where the API key in effect came from. Only a key that lives in
// settings.json is written back to it: never the environment's.
enum class ApiKeySource { None, Environment, Keychain, File };

// The user's settings, one field per key of settings.json. Fields marked
// "kept" are only round-tripped: nothing in the program acts on them yet.
struct Settings
{
    QString openai_api_key;
    QString openai_model = QStringLiteral("gpt-4o-mini");
    QString thinking_depth = QStringLiteral("standard");
    bool sound_enabled = true;
    double sound_volume = 0.6;
    bool hover_sound_enabled = true; // kept
    QString theme = QStringLiteral("dark");
    QString accent = QStringLiteral("green");
    QString ui_style = QStringLiteral("standard");
    bool sidebar_collapsed = false; // kept
    int chat_memory_turns = 7;
    int live_refresh_seconds = 60;
    QString start_page = QStringLiteral("live");
    bool show_form_guide = true;         // kept
    bool confirm_before_predict = false; // kept
    int form_games = 5;                  // kept
    int upcoming_days = 75;
    bool time_format_24h = true;   // kept
    bool compact_cards = false;    // kept
    bool show_venue = true;        // kept
    bool walkthrough_seen = false; // kept
    QString reporter_name;
    QStringList favorite_league_ids = {QStringLiteral("eng.1")};
    QStringList recent_searches; // kept
    QString openai_base_url;     // empty: the OpenAI service itself
    // Which goals the live page also announces on the desktop: "all",
    // "favourites" (starred fixtures only) or "off".
    QString goal_notifications = QStringLiteral("all");

    // Not in the file: where openai_api_key came from, and what settings.json
    // itself holds under that key (kept as it was when the key in effect
    // comes from elsewhere).
    ApiKeySource api_key_source = ApiKeySource::None;
    QString file_api_key;

    static Settings load();
    bool save() const;

    QJsonObject toJson() const;
    static Settings fromJson(const QJsonObject &object);

    // A key the keychain or, failing it, settings.json now holds; the
    // environment's key stays in effect when there is one.
    void useStoredKey(const QString &key, ApiKeySource where);
    // The key in effect after the stored one was removed.
    void forgetStoredKey();
};

// The folder of an old portable install whose data could be taken over, or
// an empty text when there is none or the program has been set up before.
QString findLegacyPortableData();

// Copies the old install's data files that do not exist here yet.
void migrateLegacyPortableData(const QString &path);
