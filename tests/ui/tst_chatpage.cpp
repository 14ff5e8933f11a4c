#include "UiHarness.h"
#include "ai/Pricing.h"
#include "ui/pages/ChatBubble.h"
#include "ui/pages/ChatPage.h"

#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>

namespace {

QJsonArray storedChats()
{
    return QJsonDocument::fromJson(TestEnv::readFile(chatsFilePath())).array();
}

// A chats.json with the given conversations, each (id, title, messages as
// alternating user/assistant texts).
void writeChats(const QList<std::tuple<QString, QString, QStringList>> &chats)
{
    QJsonArray array;
    for (const auto &[id, title, texts] : chats) {
        QJsonArray messages;
        for (int i = 0; i < texts.size(); ++i)
            messages.append(QJsonObject{{"role", i % 2 ? "assistant" : "user"},
                                        {"content", texts.at(i)},
                                        {"at", "2025-10-01T12:00:00"}});
        array.append(QJsonObject{
            {"id", id}, {"title", title}, {"created_at", "2025-10-01T12:00:00"}, {"messages", messages}});
    }
    TestEnv::writeFile(chatsFilePath(), QJsonDocument(array).toJson());
}

} // namespace

class TestChatPage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> ui;
    QWidget *page = nullptr;

    void open()
    {
        ui->open(u"chat"_s);
        page = ui->window->page(u"chat"_s);
    }

    QLineEdit *input() const { return page->findChild<QLineEdit *>(); }
    QPushButton *sendButton() const
    {
        QPushButton *send = buttonWithText(page, u"  Send"_s);
        return send ? send : buttonWithText(page, u"  Thinking…"_s);
    }
    bool busy() const { return sendButton()->text() == u"  Thinking…"_s; }
    QListWidget *list() const { return page->findChild<QListWidget *>(u"ChatList"_s); }
    QString currentId() const { return list()->currentItem()->data(Qt::UserRole).toString(); }
    QStringList listTitles() const
    {
        QStringList titles;
        for (int i = 0; i < list()->count(); ++i)
            titles.append(list()->item(i)->text());
        return titles;
    }
    // The bubbles of the thread in order (bubbles on their way out are no
    // longer in the thread's layout).
    QList<ChatBubble *> bubbles() const
    {
        QList<ChatBubble *> list;
        QLayout *thread = page->findChild<QWidget *>(u"ChatThread"_s)->layout();
        for (int i = 0; i < thread->count(); ++i) {
            if (auto *bubble = thread->itemAt(i)->widget()
                                   ? thread->itemAt(i)->widget()->findChild<ChatBubble *>()
                                   : nullptr)
                list.append(bubble);
        }
        return list;
    }
    // The thread as "User:text" and "AI:text".
    QStringList thread() const
    {
        QStringList texts;
        for (ChatBubble *bubble : bubbles())
            texts.append(bubble->objectName().mid(10) + u':' + bubble->text());
        return texts;
    }
    bool showsPlaceholder() const
    {
        QLabel *placeholder = labelWithRole(page, u"ChatPlaceholder"_s);
        return placeholder &&
               page->findChild<QWidget *>(u"ChatThread"_s)->layout()->indexOf(placeholder) >= 0;
    }
    void ask(const QString &text)
    {
        input()->setFocus();
        QTest::keyClicks(input(), text);
        QTest::mouseClick(sendButton(), Qt::LeftButton);
    }
    void pick(int row)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualItemRect(list()->item(row)).center());
    }
    void click(const QString &text) { QTest::mouseClick(buttonWithText(page, text), Qt::LeftButton); }

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup() { ui.reset(); }

    void firstQuestion_replacesThePlaceholder_andTheReplyIsSavedAsPlainText()
    {
        ui->server.route(MODEL, textReply(u"Use <b>tags</b> & <i>stuff</i> freely"_s, 300));
        open();
        QCOMPARE(listTitles(), QStringList{"New chat"});
        QVERIFY(showsPlaceholder());
        ask(u"  Is <b>this</b> bold & broken?  "_s);
        QVERIFY(!showsPlaceholder());
        QCOMPARE(thread(), (QStringList{"User:Is <b>this</b> bold & broken?", "AI:Thinking…"}));
        QVERIFY(busy() && !sendButton()->isEnabled() && !input()->isEnabled());
        QVERIFY(input()->text().isEmpty());

        QTRY_VERIFY(!busy());
        QCOMPARE(thread(), (QStringList{"User:Is <b>this</b> bold & broken?",
                                        "AI:Use <b>tags</b> & <i>stuff</i> freely"}));
        verifyPlainLabels(page);
        QCOMPARE(shownToolTip(list()->item(0)->toolTip()), u"Is <b>this</b> bold & broken?"_s);
        QCOMPARE(bubbles().last()->meta(),
                 u"gpt-4o-mini  ·  %1"_s.arg(formatGbp(costGbp("gpt-4o-mini", 1000, 200))));
        QVERIFY(input()->isEnabled());
        QCOMPARE(listTitles(), QStringList{"Is <b>this</b> bold & broken?"});
        QCOMPARE(ui->sounds(), (QStringList{"send", "receive"}));
        const QJsonObject saved = storedChats().first().toObject();
        QCOMPARE(saved.value("title").toString(), u"Is <b>this</b> bold & broken?"_s);
        QCOMPARE(saved.value("messages").toArray().size(), 2);
        // The first request carried no history: the system text and the question.
        const auto sent = messagesOf(ui->server.requestsTo(MODEL).first());
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(1), qMakePair(u"user"_s, u"Is <b>this</b> bold & broken?"_s));
    }

    void memory_sendsOnlyTheLastExchanges_data()
    {
        QTest::addColumn<int>("turns");
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("note");
        QTest::newRow("one")
            << 1 << QStringList{"user:q2", "assistant:a2"}
            << u"Sends the last 1 exchange back as context. Older messages stay saved here but "_s
               "aren't re-sent.";
        QTest::newRow("three")
            << 3 << QStringList{"user:q1", "assistant:a1", "user:q2", "assistant:a2"}
            << u"Sends the last 3 exchanges back as context. Older messages stay saved here "_s
               "but aren't re-sent.";
    }

    void memory_sendsOnlyTheLastExchanges()
    {
        QFETCH(int, turns);
        QFETCH(QStringList, history);
        QFETCH(QString, note);
        TestEnv::writeFile(
            settingsFilePath(),
            QStringLiteral(R"({"openai_api_key": "sk-test", "chat_memory_turns": %1})").arg(turns).toUtf8());
        writeChats({{"abc", "q1", {"q1", "a1", "q2", "a2"}}});
        ui->server.route(MODEL, textReply(u"a3"_s));
        open();
        QCOMPARE(labelWithRole(page, u"MemoryNote"_s)->text(), note);
        // Past replies carry no meta line.
        QVERIFY(bubbles().at(1)->meta().isEmpty());
        ask(u"q3"_s);
        QTRY_VERIFY(!busy());
        QStringList sent;
        for (const auto &m : messagesOf(ui->server.requestsTo(MODEL).first()))
            sent.append(m.first + u':' + m.second);
        QCOMPARE(sent.mid(1), history + QStringList{"user:q3"});
        QCOMPARE(storedChats().first().toObject().value("messages").toArray().size(), 6);
    }

    void lateReply_isDropped_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("switch") << "switch" << QStringList{"User:b1", "AI:b2"}
                                << QStringList{"First", "Second"};
        QTest::newRow("new chat") << "  New chat" << QStringList{}
                                  << QStringList{"New chat", "First", "Second"};
        QTest::newRow("delete") << "  Delete chat" << QStringList{"User:b1", "AI:b2"}
                                << QStringList{"Second"};
    }

    void lateReply_isDropped()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, titles);
        writeChats({{"aaa", "First", {"q1", "a1"}}, {"bbb", "Second", {"b1", "b2"}}});
        ui->server.route(MODEL, textReply(u"late answer"_s, 400));
        open();
        QCOMPARE(currentId(), u"aaa"_s);
        ask(u"still there?"_s);
        QVERIFY(busy());
        if (action == "switch"_L1)
            pick(1);
        else
            click(action);
        QVERIFY(!busy() && input()->isEnabled());
        const QString now = currentId();
        // The reply arrives and is handed to the page, which has moved on.
        QTRY_COMPARE(ui->server.count(MODEL), 1);
        QTRY_VERIFY_WITH_TIMEOUT(ui->tasksDone(), WAIT_MS);
        QCOMPARE(thread(), shown);
        QCOMPARE(showsPlaceholder(), shown.isEmpty());
        QCOMPARE(listTitles(), titles);
        QCOMPARE(currentId(), now);
        QVERIFY(!ui->sounds().contains(u"receive"_s));
        // The late reply was not saved anywhere.
        QVERIFY(!TestEnv::readFile(chatsFilePath()).contains("late answer"));
    }

    void failedQuestion_showsWhy_andIsNotKept()
    {
        ui->server.routeSequence(MODEL, {StubResponse::error(500), textReply(u"Sure."_s)});
        open();
        ask(u"a question that fails"_s);
        QTRY_VERIFY(!busy());
        QCOMPARE(thread(), (QStringList{"User:a question that fails",
                                        "AI:Couldn't get a reply — OpenAI request failed (HTTP 500)"}));
        QCOMPARE(ui->sounds(), (QStringList{"send", "error"}));
        QVERIFY(input()->isEnabled());
        QCOMPARE(listTitles(), QStringList{"New chat"});

        ask(u"a question that works"_s);
        QTRY_VERIFY(!busy());
        QCOMPARE(listTitles(), QStringList{"a question that works"});
        const QJsonArray messages = storedChats().first().toObject().value("messages").toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).toObject().value("content").toString(), u"a question that works"_s);
    }
};

QTEST_MAIN(TestChatPage)
#include "tst_chatpage.moc"
