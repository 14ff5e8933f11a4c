#pragma once

#include <QJsonObject>
#include <QString>

#include <utility>
#include <vector>

// One message of a chat conversation.
struct ChatMessage
{
    QString role; // "user" or "assistant"
    QString content;
    QString at; // local time, ISO format

    QJsonObject toJson() const;
    static ChatMessage fromJson(const QJsonObject &object);
};

// A saved chat with the model.
struct Conversation
{
    static constexpr int MaxMessages = 400;
    static constexpr int TitleLength = 42;

    QString id = newId();
    QString title = defaultTitle();
    QString created_at = now();
    std::vector<ChatMessage> messages; // oldest first

    QJsonObject toJson() const;
    static Conversation fromJson(const QJsonObject &object);

    // Appends a message stamped now, keeping the last MaxMessages. The first
    // non-blank user message names an untitled conversation.
    ChatMessage &add(const QString &role, const QString &content);

    // `text` cut to its first TitleLength characters as a reader counts
    // them, with "…" appended when anything was cut.
    static QString shortTitle(const QString &text);

    // What to send back to the model as history: the last `turns` user
    // messages (at least one) and everything after the first of them.
    std::vector<std::pair<QString, QString>> memory(int turns) const;

    static QString newId(); // 12 characters of a fresh UUID
    static QString defaultTitle() { return QStringLiteral("New chat"); }
    static QString now();
};

// The user's conversations, most recently used first, kept in chats.json.
// GUI thread only.
class ChatStore
{
public:
    static constexpr int MaxConversations = 50;

    explicit ChatStore(QString path);

    // Replaces the list with the file's contents. A file that is not a JSON
    // array is copied aside and the list starts empty.
    void load();
    // Keeps the MaxConversations most recently used and writes the file.
    void save();

    // A new conversation at the front; not saved until the caller saves.
    Conversation &newConversation();
    // Valid until the list next changes; null for an unknown id.
    Conversation *get(const QString &id);
    // Moves the conversation to the front and saves; an unknown id does nothing.
    void touch(const QString &id);
    // Removes every conversation with this id and saves.
    void remove(const QString &id);

    const std::vector<Conversation> &conversations() const { return m_conversations; }
    const QString &path() const { return m_path; }

private:
    QString m_path;
    std::vector<Conversation> m_conversations;
};
