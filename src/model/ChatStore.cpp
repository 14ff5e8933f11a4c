#include "ChatStore.h"

#include "JsonStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <algorithm>

QJsonObject ChatMessage::toJson() const
{
    return QJsonObject{
        {QStringLiteral("role"), role}, {QStringLiteral("content"), content}, {QStringLiteral("at"), at}};
}

ChatMessage ChatMessage::fromJson(const QJsonObject &o)
{
    ChatMessage m;
    m.role = o.value(QLatin1String("role")).toString(QStringLiteral("user"));
    m.content = o.value(QLatin1String("content")).toString();
    m.at = o.value(QLatin1String("at")).toString();
    return m;
}

QString Conversation::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).left(12);
}

QString Conversation::now()
{
    return QDateTime::currentDateTime().toString(Qt::ISODate);
}

QJsonObject Conversation::toJson() const
{
    QJsonArray list;
    for (const ChatMessage &m : messages)
        list.append(m.toJson());
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("created_at"), created_at},
                       {QStringLiteral("messages"), list}};
}

Conversation Conversation::fromJson(const QJsonObject &o)
{
    Conversation c;
    // An empty id could not be told apart from another one, so it is
    // treated like a missing id.
    const QString id = o.value(QLatin1String("id")).toString();
    if (!id.isEmpty())
        c.id = id;
    c.title = o.value(QLatin1String("title")).toString(defaultTitle());
    c.created_at = o.value(QLatin1String("created_at")).toString();
    for (const QJsonValue &v : o.value(QLatin1String("messages")).toArray())
        c.messages.push_back(ChatMessage::fromJson(v.toObject()));
    return c;
}

QString Conversation::shortTitle(const QString &text)
{
    // Counted in what a reader sees as one character: an emoji, a flag (two
    // code points) or a letter with its accents counts once and is never split.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    while (finder.toNextBoundary() != -1) {
        if (++seen == TitleLength && finder.position() < text.size())
            return text.left(finder.position()) + QChar(0x2026);
    }
    return text;
}

ChatMessage &Conversation::add(const QString &role, const QString &content)
{
    messages.push_back(ChatMessage{role, content, now()});
    if (messages.size() > size_t(MaxMessages))
        messages.erase(messages.begin(), messages.end() - MaxMessages);

    if (title == defaultTitle() && role == QLatin1String("user") && !content.trimmed().isEmpty()) {
        title = shortTitle(content.simplified());
    }
    return messages.back();
}

std::vector<std::pair<QString, QString>> Conversation::memory(int turns) const
{
    const int wanted = std::max(turns, 1);
    size_t start = 0;
    int users = 0;
    for (size_t i = messages.size(); i-- > 0;) {
        if (messages[i].role == QLatin1String("user") && ++users == wanted) {
            start = i;
            break;
        }
    }
    std::vector<std::pair<QString, QString>> pairs;
    pairs.reserve(messages.size() - start);
    for (size_t i = start; i < messages.size(); ++i)
        pairs.emplace_back(messages[i].role, messages[i].content);
    return pairs;
}

ChatStore::ChatStore(QString path)
    : m_path(std::move(path))
{
    load();
}

void ChatStore::load()
{
    m_conversations.clear();
    for (const QJsonValue &v : loadArray(m_path))
        m_conversations.push_back(Conversation::fromJson(v.toObject()));
}

void ChatStore::save()
{
    if (m_conversations.size() > size_t(MaxConversations))
        m_conversations.erase(m_conversations.begin() + MaxConversations, m_conversations.end());
    QJsonArray list;
    for (const Conversation &c : m_conversations)
        list.append(c.toJson());
    saveArray(m_path, list);
}

Conversation &ChatStore::newConversation()
{
    m_conversations.insert(m_conversations.begin(), Conversation());
    return m_conversations.front();
}

Conversation *ChatStore::get(const QString &id)
{
    const auto it = std::find_if(m_conversations.begin(), m_conversations.end(),
                                 [&id](const Conversation &c) { return c.id == id; });
    return it == m_conversations.end() ? nullptr : &*it;
}

void ChatStore::touch(const QString &id)
{
    const auto it = std::find_if(m_conversations.begin(), m_conversations.end(),
                                 [&id](const Conversation &c) { return c.id == id; });
    if (it == m_conversations.end())
        return;
    std::rotate(m_conversations.begin(), it, it + 1);
    save();
}

void ChatStore::remove(const QString &id)
{
    m_conversations.erase(std::remove_if(m_conversations.begin(), m_conversations.end(),
                                         [&id](const Conversation &c) { return c.id == id; }),
                          m_conversations.end());
    save();
}
