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

using namespace Qt::StringLiterals;

namespace {

QJsonArray fileArray()
{
    return QJsonDocument::fromJson(TestEnv::readFile(chatsFilePath())).array();
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

    void memory_keepsTheLastUserTurnsAndWhatFollows_data()
    {
        QTest::addColumn<QString>("roles"); // u user, a assistant
        QTest::addColumn<int>("turns");
        QTest::addColumn<QString>("kept"); // indexes of the kept messages
        QTest::newRow("two turns") << "uauau" << 2 << "234";
        QTest::newRow("one turn and its reply") << "uaua" << 1 << "23";
        QTest::newRow("zero means one") << "uauau" << 0 << "4";
        QTest::newRow("only replies") << "aaa" << 1 << "012";
        QTest::newRow("empty") << "" << 3 << "";
    }
    void memory_keepsTheLastUserTurnsAndWhatFollows()
    {
        QFETCH(QString, roles);
        QFETCH(int, turns);
        Conversation c;
        for (qsizetype i = 0; i < roles.size(); ++i)
            c.add(roles.at(i) == u'u' ? u"user"_s : u"assistant"_s, QString::number(i));
        QString kept;
        for (const auto &[role, content] : c.memory(turns))
            kept += content;
        QTEST(kept, "kept");
    }

    void add_firstUserMessageNamesTheConversation()
    {
        Conversation c;
        QVERIFY(Conversation().id != c.id);
        c.add(u"assistant"_s, u"Hello! Ask me about football."_s);
        c.add(u"user"_s, u"   "_s);
        QCOMPARE(c.title, u"New chat"_s);
        c.add(u"user"_s, u"  hello \n\t  world  "_s);
        QCOMPARE(c.title, u"hello world"_s);
        c.add(u"user"_s, u"Something else entirely"_s);
        QCOMPARE(c.title, u"hello world"_s);
        QCOMPARE(c.messages.size(), size_t(4));
    }

    void add_longTitlesAreCut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        const QString forty2(42, u'a');
        const QString emoji = u"\U0001F600"_s;
        QTest::newRow("42 kept") << forty2 << forty2;
        QTest::newRow("43 cut") << forty2 + u'b' << forty2 + u'…';
        // Counted as a reader counts: an emoji (two UTF-16 units) and a flag
        // (two code points) are one character each and never split.
        const QString flag = u"\U0001F1F5\U0001F1F9"_s;
        const QString forty1(41, u'a');
        QTest::newRow("41 letters and an emoji fit") << forty1 + emoji << forty1 + emoji;
        QTest::newRow("emoji at the cut") << forty1 + emoji + u"tail"_s << forty1 + emoji + u'…';
        QTest::newRow("flag at the cut") << forty1 + flag + u'x' << forty1 + flag + u'…';
    }
    void add_longTitlesAreCut()
    {
        QFETCH(QString, text);
        Conversation c;
        c.add(u"user"_s, text);
        QTEST(c.title, "title");
        QCOMPARE(c.messages.front().content, text);
    }

    void add_keepsTheLast400Messages()
    {
        Conversation c;
        for (int i = 0; i <= 400; ++i)
            c.add(i % 2 ? u"assistant"_s : u"user"_s, QString::number(i));
        QCOMPARE(c.messages.size(), size_t(400));
        QCOMPARE(c.messages.front().content, u"1"_s);
        QCOMPARE(c.messages.back().content, u"400"_s);
    }

    void fromJson_isLenient()
    {
        const Conversation c = Conversation::fromJson(QJsonDocument::fromJson(R"({"id": "", "messages": [
            {"role": "assistant", "content": "hi", "at": "2025-09-01T10:00:00"}, {"content": 5}, "not an object"]})")
                                                          .object());
        QCOMPARE(c.id.size(), 12);
        QCOMPARE(c.title, u"New chat"_s);
        QCOMPARE(c.messages.size(), size_t(3));
        QCOMPARE(c.messages[0].at, u"2025-09-01T10:00:00"_s);
        QCOMPARE(c.messages[1].role, u"user"_s);
        QCOMPARE(c.messages[1].content, QString());
    }

    void saveThenLoad_roundTripInOrderOfUse()
    {
        {
            ChatStore store(chatsFilePath());
            Conversation &first = store.newConversation();
            first.add(u"user"_s, u"Who won the 2005 final?"_s);
            first.add(u"assistant"_s, u"Liverpool, on penalties."_s);
            const QString firstId = first.id;
            store.newConversation().add(u"user"_s, u"Best striker now?"_s);
            store.save();
            store.touch(firstId); // saves
        }
        ChatStore reloaded(chatsFilePath());
        QCOMPARE(reloaded.conversations().size(), size_t(2));
        const Conversation &c = reloaded.conversations().front();
        QCOMPARE(c.title, u"Who won the 2005 final?"_s);
        QCOMPARE(c.messages.size(), size_t(2));
        QCOMPARE(c.messages[1].role, u"assistant"_s);
        QCOMPARE(c.messages[1].content, u"Liverpool, on penalties."_s);
        QCOMPARE(reloaded.get(c.id), &reloaded.conversations().front());
        QCOMPARE(reloaded.get(u"nope"_s), nullptr);
    }

    void save_keepsThe50MostRecentlyUsed_butLoadDoesNotCap()
    {
        ChatStore store(chatsFilePath());
        for (int i = 0; i < 51; ++i)
            store.newConversation().title = QString::number(i);
        store.save();
        QCOMPARE(store.conversations().size(), size_t(50));
        QCOMPARE(fileArray().size(), 50);
        QCOMPARE(fileArray().first().toObject().value(u"title"_s).toString(), u"50"_s);
        QCOMPARE(fileArray().last().toObject().value(u"title"_s).toString(), u"1"_s);

        QJsonArray many;
        for (int i = 0; i < 60; ++i)
            many.append(QJsonObject{{u"id"_s, QString::number(i)}});
        TestEnv::writeFile(chatsFilePath(), QJsonDocument(many).toJson());
        QCOMPARE(ChatStore(chatsFilePath()).conversations().size(), size_t(60));
    }

    void load_objectInsteadOfArray_startsEmptyAndKeepsACopy()
    {
        const QByteArray object = R"({"id": "abc", "title": "was a single chat"})";
        TestEnv::writeFile(chatsFilePath(), object);
        ChatStore store(chatsFilePath());
        QVERIFY(store.conversations().empty());
        const QDir dir = QFileInfo(chatsFilePath()).dir();
        const QStringList copies = dir.entryList({QFileInfo(chatsFilePath()).fileName() + u".corrupt-*"_s});
        QCOMPARE(copies.size(), 1);
        QCOMPARE(TestEnv::readFile(dir.filePath(copies.first())), object);
    }

    void touchOrRemoveUnknown_andRemoveDuplicates()
    {
        TestEnv::writeFile(chatsFilePath(),
                           R"([{"id": "dup", "title": "a"}, {"id": "other"}, {"id": "dup"}])");
        ChatStore store(chatsFilePath());
        QFile::remove(chatsFilePath());
        store.touch(u"unknown"_s);
        QVERIFY(!QFile::exists(chatsFilePath())); // nothing changed, nothing written
        store.remove(u"dup"_s);
        QCOMPARE(store.conversations().size(), size_t(1));
        QCOMPARE(fileArray().size(), 1);
        QCOMPARE(fileArray().at(0).toObject().value(u"id"_s).toString(), u"other"_s);
    }
};

QTEST_GUILESS_MAIN(TestChatStore)
#include "tst_chatstore.moc"
