#include "app/Paths.h"
#include "model/ChatStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

namespace {

using Pairs = std::vector<std::pair<QString, QString>>;

Conversation conversationOf(const QStringList &roles)
{
    Conversation c;
    for (int i = 0; i < roles.size(); ++i)
        c.add(roles.at(i), QStringLiteral("m%1").arg(i));
    return c;
}

QStringList contentsOf(const Pairs &pairs)
{
    QStringList list;
    for (const auto &p : pairs)
        list.append(p.second);
    return list;
}

QJsonArray fileArray(const QString &path)
{
    return QJsonDocument::fromJson(TestEnv::readFile(path)).array();
}

QStringList corruptCopies(const QString &path)
{
    const QFileInfo info(path);
    return info.dir().entryList({info.fileName() + QStringLiteral(".corrupt-*")}, QDir::Files);
}

} // namespace

class TestChatStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void newConversation_defaults()
    {
        const Conversation c;
        QCOMPARE(c.id.size(), 12);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{3}$")).match(c.id).hasMatch());
        QVERIFY(Conversation().id != c.id);
        QCOMPARE(c.title, QStringLiteral("New chat"));
        QVERIFY(QDateTime::fromString(c.created_at, Qt::ISODate).isValid());
        QVERIFY(c.messages.empty());
    }

    void memory_keepsTheLastUserTurnsAndWhatFollows()
    {
        const Conversation c = conversationOf({"user", "assistant", "user", "assistant", "user"});
        QCOMPARE(contentsOf(c.memory(2)), QStringList({"m2", "m3", "m4"}));
        QCOMPARE(contentsOf(c.memory(5)), QStringList({"m0", "m1", "m2", "m3", "m4"}));
        QCOMPARE(contentsOf(c.memory(1)), QStringList({"m4"}));
        QCOMPARE(c.memory(0), c.memory(1));
        QCOMPARE(c.memory(-3), c.memory(1));
        QCOMPARE(c.memory(2).front(), std::make_pair(QStringLiteral("user"), QStringLiteral("m2")));

        const Conversation replied = conversationOf({"user", "assistant", "user", "assistant"});
        QCOMPARE(contentsOf(replied.memory(1)), QStringList({"m2", "m3"}));

        const Conversation onlyReplies = conversationOf({"assistant", "assistant", "assistant"});
        QCOMPARE(onlyReplies.memory(1).size(), size_t(3));
        QVERIFY(Conversation().memory(3).empty());
    }

    void add_firstUserMessageNamesTheConversation()
    {
        Conversation c;
        c.add("assistant", "Hello! Ask me about football.");
        QCOMPARE(c.title, QStringLiteral("New chat"));
        c.add("user", "   ");
        QCOMPARE(c.title, QStringLiteral("New chat"));
        c.add("user", "  hello \n\t  world  ");
        QCOMPARE(c.title, QStringLiteral("hello world"));
        c.add("user", "Something else entirely");
        QCOMPARE(c.title, QStringLiteral("hello world"));
        QCOMPARE(c.messages.size(), size_t(4));
        QCOMPARE(c.messages.back().content, QStringLiteral("Something else entirely"));
        QVERIFY(QDateTime::fromString(c.messages.back().at, Qt::ISODate).isValid());
    }

    void add_longTitlesAreCut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        const QString forty2 = QString(42, QLatin1Char('a'));
        QTest::newRow("42 kept") << forty2 << forty2;
        QTest::newRow("43 cut") << forty2 + "b" << forty2 + QChar(0x2026);
        // Counted as a reader counts: an emoji (two UTF-16 units) and a flag
        // (two code points) are one character each and never split.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString flag = QString::fromUtf8("\xF0\x9F\x87\xB5\xF0\x9F\x87\xB9");
        const QString forty1 = QString(41, QLatin1Char('a'));
        QTest::newRow("41 letters and an emoji fit") << forty1 + emoji << forty1 + emoji;
        QTest::newRow("emoji at the cut") << forty1 + emoji + "tail" << forty1 + emoji + QChar(0x2026);
        QTest::newRow("flag at the cut") << forty1 + flag + "x" << forty1 + flag + QChar(0x2026);
    }

    void add_longTitlesAreCut()
    {
        QFETCH(QString, text);
        QFETCH(QString, title);
        Conversation c;
        c.add("user", text);
        QCOMPARE(c.title, title);
        QCOMPARE(c.messages.front().content, text);
    }

    void add_keepsTheLast400Messages()
    {
        Conversation c;
        for (int i = 0; i < 400; ++i)
            c.add(i % 2 ? "assistant" : "user", QString::number(i));
        QCOMPARE(c.messages.size(), size_t(400));
        const ChatMessage &added = c.add("user", "400");
        QCOMPARE(added.content, QStringLiteral("400"));
        QCOMPARE(c.messages.size(), size_t(400));
        QCOMPARE(c.messages.front().content, QStringLiteral("1"));
        QCOMPARE(c.messages.back().content, QStringLiteral("400"));
    }

    void json_isLenient()
    {
        const QJsonObject o = QJsonDocument::fromJson(R"({"messages": [
            {"role": "assistant", "content": "hi", "at": "2025-09-01T10:00:00"},
            {"content": 5},
            "not an object"]})")
                                  .object();
        const Conversation c = Conversation::fromJson(o);
        QCOMPARE(c.id.size(), 12);
        QCOMPARE(c.title, QStringLiteral("New chat"));
        QCOMPARE(c.created_at, QString());
        QCOMPARE(c.messages.size(), size_t(3));
        QCOMPARE(c.messages[0].role, QStringLiteral("assistant"));
        QCOMPARE(c.messages[0].at, QStringLiteral("2025-09-01T10:00:00"));
        QCOMPARE(c.messages[1].role, QStringLiteral("user"));
        QCOMPARE(c.messages[1].content, QString());
        QCOMPARE(c.messages[2].role, QStringLiteral("user"));
        QVERIFY(Conversation::fromJson({{"id", ""}}).id.size() == 12);
    }

    void saveThenLoad_roundTripInOrderOfUse()
    {
        {
            ChatStore store(chatsFilePath());
            QVERIFY(store.conversations().empty());
            Conversation &first = store.newConversation();
            first.add("user", "Who won the 2005 final?");
            first.add("assistant", "Liverpool, on penalties.");
            const QString firstId = first.id;
            store.newConversation().add("user", "Best striker now?");
            store.save();
            QCOMPARE(store.conversations().front().title, QStringLiteral("Best striker now?"));
            store.touch(firstId); // saves
            QCOMPARE(store.conversations().front().id, firstId);
        }
        const QByteArray bytes = TestEnv::readFile(chatsFilePath());
        QVERIFY(bytes.startsWith("[\n    {\n        \"created_at\""));
        const QJsonObject saved = fileArray(chatsFilePath()).at(0).toObject();
        QCOMPARE(saved.keys(), QStringList({"created_at", "id", "messages", "title"}));
        QCOMPARE(saved.value("messages").toArray().at(0).toObject().keys(),
                 QStringList({"at", "content", "role"}));

        ChatStore reloaded(chatsFilePath());
        QCOMPARE(reloaded.conversations().size(), size_t(2));
        const Conversation &c = reloaded.conversations().front();
        QCOMPARE(c.title, QStringLiteral("Who won the 2005 final?"));
        QCOMPARE(c.messages.size(), size_t(2));
        QCOMPARE(c.messages[1].role, QStringLiteral("assistant"));
        QCOMPARE(c.messages[1].content, QStringLiteral("Liverpool, on penalties."));
        QCOMPARE(reloaded.get(c.id), &reloaded.conversations().front());
        QCOMPARE(reloaded.get("nope"), nullptr);
    }

    void save_keepsThe50MostRecentlyUsed()
    {
        ChatStore store(chatsFilePath());
        for (int i = 0; i < 51; ++i)
            store.newConversation().title = QString::number(i);
        store.save();
        QCOMPARE(store.conversations().size(), size_t(50));
        QCOMPARE(store.conversations().front().title, QStringLiteral("50"));
        QCOMPARE(store.conversations().back().title, QStringLiteral("1"));
        const QJsonArray file = fileArray(chatsFilePath());
        QCOMPARE(file.size(), 50);
        QCOMPARE(file.last().toObject().value("title").toString(), QStringLiteral("1"));
    }

    void load_doesNotCap()
    {
        QJsonArray many;
        for (int i = 0; i < 60; ++i)
            many.append(QJsonObject{{"id", QString::number(i)}, {"title", "t"}});
        TestEnv::writeFile(chatsFilePath(), QJsonDocument(many).toJson());
        ChatStore store(chatsFilePath());
        QCOMPARE(store.conversations().size(), size_t(60));
        QCOMPARE(store.conversations().front().id, QStringLiteral("0"));
    }

    void load_objectInsteadOfArray_startsEmptyAndKeepsACopy()
    {
        const QByteArray object = R"({"id": "abc", "title": "was a single chat"})";
        TestEnv::writeFile(chatsFilePath(), object);
        ChatStore store(chatsFilePath());
        QVERIFY(store.conversations().empty());
        const QStringList copies = corruptCopies(chatsFilePath());
        QCOMPARE(copies.size(), 1);
        QCOMPARE(TestEnv::readFile(QFileInfo(chatsFilePath()).dir().filePath(copies.first())), object);

        store.newConversation();
        store.save();
        QCOMPARE(fileArray(chatsFilePath()).size(), 1);
    }

    void touchUnknown_leavesTheFile_removeUnknown_rewritesIt()
    {
        ChatStore store(chatsFilePath());
        store.newConversation().add("user", "keep me");
        store.save();
        const QByteArray before = TestEnv::readFile(chatsFilePath());

        QFile::remove(chatsFilePath());
        store.touch("unknown");
        QVERIFY(!QFile::exists(chatsFilePath()));

        store.remove("unknown");
        QCOMPARE(TestEnv::readFile(chatsFilePath()), before);
    }

    void remove_dropsEveryCopyOfTheId()
    {
        TestEnv::writeFile(chatsFilePath(),
                           R"([{"id": "dup", "title": "a"}, {"id": "other"}, {"id": "dup"}])");
        ChatStore store(chatsFilePath());
        store.remove("dup");
        QCOMPARE(store.conversations().size(), size_t(1));
        QCOMPARE(fileArray(chatsFilePath()).size(), 1);
        QCOMPARE(fileArray(chatsFilePath()).at(0).toObject().value("id").toString(), QStringLiteral("other"));
    }

    void save_failure_keepsListAndOldFile()
    {
        ChatStore store(chatsFilePath());
        store.newConversation().add("user", "first");
        store.save();
        const QByteArray before = TestEnv::readFile(chatsFilePath());

        // A folder where the file should be: the write fails, nothing is lost.
        ChatStore blocked(QFileInfo(chatsFilePath()).dir().filePath("blocked.json"));
        QDir().mkpath(blocked.path());
        blocked.newConversation();
        blocked.save();
        QCOMPARE(blocked.conversations().size(), size_t(1));
        QCOMPARE(TestEnv::readFile(chatsFilePath()), before);
    }
};

QTEST_GUILESS_MAIN(TestChatStore)
#include "tst_chatstore.moc"
