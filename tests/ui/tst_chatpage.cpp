#include "PageHarness.h"
#include "ai/Pricing.h"
#include "app/Paths.h"
#include "model/ChatStore.h"
#include "ui/pages/ChatBubble.h"
#include "ui/pages/ChatPage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>

namespace {

const QString MODEL = QStringLiteral("/v1/chat/completions");

StubResponse reply(const QString &text, int delayMs = 0)
{
    const QJsonObject body{
        {"choices",
         QJsonArray{QJsonObject{{"message", QJsonObject{{"role", "assistant"}, {"content", text}}}}}},
        {"usage", QJsonObject{{"prompt_tokens", 1000}, {"completion_tokens", 200}}}};
    StubResponse response = StubResponse::json(QJsonDocument(body).toJson(QJsonDocument::Compact));
    response.delayMs = delayMs;
    return response;
}

// The (role, content) pairs a model request carried.
QList<QPair<QString, QString>> messagesOf(const StubRequest &request)
{
    QList<QPair<QString, QString>> list;
    const QJsonArray messages = QJsonDocument::fromJson(request.body).object().value("messages").toArray();
    for (const QJsonValue &v : messages)
        list.append({v.toObject().value("role").toString(), v.toObject().value("content").toString()});
    return list;
}

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
        for (int i = 0; i < texts.size(); ++i) {
            messages.append(QJsonObject{{"role", i % 2 ? "assistant" : "user"},
                                        {"content", texts.at(i)},
                                        {"at", "2025-10-01T12:00:00"}});
        }
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
    ChatPage *page = nullptr;

    void open(bool withKey = true)
    {
        if (!withKey) {
            // One set of temporary folders at a time: the old one restores
            // the environment when it goes.
            ui.reset();
            ui = std::make_unique<UiHarness>(false);
        }
        ui->open(QStringLiteral("chat"));
        page = ui->page<ChatPage>(QStringLiteral("chat"));
        QVERIFY(page);
    }

    QLineEdit *input() const { return page->findChild<QLineEdit *>(); }
    QPushButton *sendButton() const
    {
        QPushButton *b = buttonWithText(page, QStringLiteral("  Send"));
        return b ? b : buttonWithText(page, QStringLiteral("  Thinking…"));
    }
    QListWidget *list() const { return page->findChild<QListWidget *>(QStringLiteral("ChatList")); }
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
        QLayout *thread = page->findChild<QWidget *>(QStringLiteral("ChatThread"))->layout();
        for (int i = 0; i < thread->count(); ++i) {
            if (QWidget *row = thread->itemAt(i)->widget()) {
                if (auto *bubble = row->findChild<ChatBubble *>())
                    list.append(bubble);
            }
        }
        return list;
    }
    QStringList bubbleTexts() const
    {
        QStringList texts;
        for (ChatBubble *bubble : bubbles())
            texts.append(bubble->objectName().mid(10) + QLatin1Char(':') + bubble->text());
        return texts;
    }
    bool showsPlaceholder() const
    {
        QLayout *thread = page->findChild<QWidget *>(QStringLiteral("ChatThread"))->layout();
        for (int i = 0; i < thread->count(); ++i) {
            auto *label = qobject_cast<QLabel *>(thread->itemAt(i)->widget());
            if (label && label->text() == ChatPage::Placeholder)
                return true;
        }
        return false;
    }
    QString memoryNote() const
    {
        for (QLabel *label : page->findChildren<QLabel *>()) {
            if (label->property("role").toString() == QLatin1String("MemoryNote"))
                return label->text();
        }
        return {};
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

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup()
    {
        page = nullptr;
        ui.reset();
    }

    void firstStart_makesOneEmptyConversation()
    {
        open();
        QCOMPARE(listTitles(), QStringList{"New chat"});
        QCOMPARE(list()->currentRow(), 0);
        QVERIFY(showsPlaceholder());
        QVERIFY(bubbles().isEmpty());
        QCOMPARE(storedChats().size(), 1);
        QCOMPARE(storedChats().first().toObject().value("id").toString(), page->currentId());
        QCOMPARE(memoryNote(),
                 QStringLiteral("Sends the last 7 exchanges back as context. Older messages stay "
                                "saved here but aren't re-sent."));
    }

    void firstQuestion_replacesThePlaceholder_andTheReplyIsSaved()
    {
        ui->server->route(MODEL, reply(QStringLiteral("Pep's full-backs invert into midfield."), 300));
        open();
        ask(QStringLiteral("  Why do City's full-backs move inside?  "));
        QVERIFY(!showsPlaceholder());
        QCOMPARE(bubbleTexts(), (QStringList{"User:Why do City's full-backs move inside?", "AI:Thinking…"}));
        QVERIFY(page->isBusy());
        QVERIFY(!input()->isEnabled());
        QCOMPARE(sendButton()->text(), QStringLiteral("  Thinking…"));
        QVERIFY(!sendButton()->isEnabled());
        QVERIFY(input()->text().isEmpty());

        QTRY_VERIFY(!page->isBusy());
        QCOMPARE(bubbleTexts(), (QStringList{"User:Why do City's full-backs move inside?",
                                             "AI:Pep's full-backs invert into midfield."}));
        QCOMPARE(bubbles().last()->meta(),
                 QStringLiteral("gpt-4o-mini  ·  %1").arg(formatGbp(costGbp("gpt-4o-mini", 1000, 200))));
        QCOMPARE(sendButton()->text(), QStringLiteral("  Send"));
        QVERIFY(input()->isEnabled());
        QCOMPARE(listTitles(), QStringList{"Why do City's full-backs move inside?"});
        QCOMPARE(ui->playedNames(), (QStringList{"send", "receive"}));

        const QJsonObject saved = storedChats().first().toObject();
        QCOMPARE(saved.value("title").toString(), QStringLiteral("Why do City's full-backs move inside?"));
        const QJsonArray messages = saved.value("messages").toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(1).toObject().value("role").toString(), QStringLiteral("assistant"));

        // The first request carried no history, only the system text and the question.
        const auto sent = messagesOf(ui->server->requestsTo(MODEL).first());
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).first, QStringLiteral("system"));
        QCOMPARE(sent.at(1),
                 qMakePair(QStringLiteral("user"), QStringLiteral("Why do City's full-backs move inside?")));
    }

    void bubbles_showPlainText()
    {
        ui->server->route(MODEL, reply(QStringLiteral("Use <b>tags</b> & <i>stuff</i> freely")));
        open();
        ask(QStringLiteral("Is <b>this</b> bold & <br> broken?"));
        QTRY_VERIFY(!page->isBusy());
        const QList<ChatBubble *> list = bubbles();
        QCOMPARE(list.size(), 2);
        for (ChatBubble *bubble : list) {
            auto *label = bubble->findChild<QLabel *>(QStringLiteral("BubbleText"));
            QCOMPARE(label->textFormat(), Qt::PlainText);
        }
        QCOMPARE(list.at(0)->text(), QStringLiteral("Is <b>this</b> bold & <br> broken?"));
        QCOMPARE(list.at(1)->text(), QStringLiteral("Use <b>tags</b> & <i>stuff</i> freely"));
        QCOMPARE(list.at(0)->objectName(), QStringLiteral("ChatBubbleUser"));
        QCOMPARE(list.at(1)->objectName(), QStringLiteral("ChatBubbleAI"));
    }

    void memory_sendsOnlyTheLastExchanges_data()
    {
        QTest::addColumn<int>("turns");
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("note");
        QTest::newRow("one")
            << 1 << QStringList{"user:q2", "assistant:a2"}
            << "Sends the last 1 exchange back as context. Older messages stay saved here but "
               "aren't re-sent.";
        QTest::newRow("three")
            << 3 << QStringList{"user:q1", "assistant:a1", "user:q2", "assistant:a2"}
            << "Sends the last 3 exchanges back as context. Older messages stay saved here "
               "but aren't re-sent.";
    }

    void memory_sendsOnlyTheLastExchanges()
    {
        QFETCH(int, turns);
        QFETCH(QStringList, history);
        QFETCH(QString, note);
        TestEnv::writeFile(settingsFilePath(),
                           QStringLiteral("{\"chat_memory_turns\": %1}").arg(turns).toUtf8());
        writeChats({{"abc", "q1", {"q1", "a1", "q2", "a2"}}});
        ui->server->route(MODEL, reply(QStringLiteral("a3")));
        open();
        QCOMPARE(memoryNote(), note);
        QCOMPARE(bubbles().size(), 4);
        // Past replies carry no meta line.
        QVERIFY(bubbles().at(1)->meta().isEmpty());

        ask(QStringLiteral("q3"));
        QCOMPARE(bubbleTexts().mid(4), (QStringList{"User:q3", "AI:Thinking…"}));
        QTRY_VERIFY(!page->isBusy());
        QStringList sent;
        for (const auto &m : messagesOf(ui->server->requestsTo(MODEL).first()))
            sent.append(m.first + QLatin1Char(':') + m.second);
        QCOMPARE(sent.first().section(QLatin1Char(':'), 0, 0), QStringLiteral("system"));
        QCOMPARE(sent.mid(1), history + QStringList{"user:q3"});
        QCOMPARE(storedChats().first().toObject().value("messages").toArray().size(), 6);
    }

    void returnTwice_sendsOnce()
    {
        ui->server->route(MODEL, reply(QStringLiteral("Yes."), 200));
        open();
        input()->setFocus();
        QTest::keyClicks(input(), QStringLiteral("Offside?"));
        QTest::keyClick(input(), Qt::Key_Return);
        QTest::keyClicks(input(), QStringLiteral("again"));
        QTest::keyClick(input(), Qt::Key_Return);
        page->send();
        QTRY_VERIFY(!page->isBusy());
        QTest::qWait(50);
        QCOMPARE(ui->server->count(MODEL), 1);
        QCOMPARE(bubbleTexts(), (QStringList{"User:Offside?", "AI:Yes."}));
    }

    void lateReply_afterSwitching_isDropped()
    {
        writeChats({{"aaa", "First", {"q1", "a1"}}, {"bbb", "Second", {"b1", "b2"}}});
        ui->server->route(MODEL, reply(QStringLiteral("late answer"), 600));
        open();
        QCOMPARE(page->currentId(), QStringLiteral("aaa"));
        ask(QStringLiteral("still there?"));
        QVERIFY(page->isBusy());

        pick(1);
        QCOMPARE(page->currentId(), QStringLiteral("bbb"));
        QVERIFY(!page->isBusy());
        QVERIFY(input()->isEnabled());
        QCOMPARE(bubbleTexts(), (QStringList{"User:b1", "AI:b2"}));

        QTRY_COMPARE(ui->server->count(MODEL), 1);
        QTest::qWait(900);
        QCOMPARE(bubbleTexts(), (QStringList{"User:b1", "AI:b2"}));
        QVERIFY(!ui->playedNames().contains(QStringLiteral("receive")));
        // The question stays in its conversation, unanswered; nothing was saved for it.
        const Conversation *first = nullptr;
        for (const Conversation &c : page->store().conversations()) {
            if (c.id == QLatin1String("aaa"))
                first = &c;
        }
        QVERIFY(first);
        QCOMPARE(first->messages.size(), size_t(3));
        QCOMPARE(first->messages.back().content, QStringLiteral("still there?"));
        QCOMPARE(storedChats().at(0).toObject().value("messages").toArray().size(), 2);

        pick(0);
        QCOMPARE(bubbleTexts(), (QStringList{"User:q1", "AI:a1", "User:still there?"}));
    }

    void error_showsInTheBubble_andTakesTheQuestionBack()
    {
        writeChats({{"aaa", "First", {"q1", "a1"}}});
        ui->server->route(MODEL, StubResponse::error(500));
        open();
        ask(QStringLiteral("will this fail?"));
        QTRY_VERIFY(!page->isBusy());
        QCOMPARE(bubbleTexts(), (QStringList{"User:q1", "AI:a1", "User:will this fail?",
                                             "AI:Couldn't get a reply — OpenAI request failed (HTTP 500)"}));
        QCOMPARE(ui->playedNames(), (QStringList{"send", "error"}));
        QVERIFY(input()->isEnabled());

        // Re-opened, the failed question is gone.
        QTest::mouseClick(buttonWithText(page, QStringLiteral("  New chat")), Qt::LeftButton);
        pick(1);
        QCOMPARE(page->currentId(), QStringLiteral("aaa"));
        QCOMPARE(bubbleTexts(), (QStringList{"User:q1", "AI:a1"}));
    }

    void failedFirstQuestion_doesNotNameTheConversation()
    {
        ui->server->routeSequence(MODEL, {StubResponse::error(429), reply(QStringLiteral("Sure."))});
        open();
        ask(QStringLiteral("a question that fails"));
        QTRY_VERIFY(!page->isBusy());
        ask(QStringLiteral("a question that works"));
        QTRY_VERIFY(!page->isBusy());
        QCOMPARE(listTitles(), QStringList{"a question that works"});
        const QJsonArray messages = storedChats().first().toObject().value("messages").toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).toObject().value("content").toString(),
                 QStringLiteral("a question that works"));
    }

    void deletingTheOnlyChat_leavesAFreshOne()
    {
        writeChats({{"aaa", "Only", {"q1", "a1"}}});
        open();
        QTest::mouseClick(buttonWithText(page, QStringLiteral("  Delete chat")), Qt::LeftButton);
        QCOMPARE(listTitles(), QStringList{"New chat"});
        QVERIFY(page->currentId() != QLatin1String("aaa"));
        QVERIFY(showsPlaceholder());
        QCOMPARE(storedChats().size(), 1);
        QCOMPARE(storedChats().first().toObject().value("title").toString(), QStringLiteral("New chat"));
        QCOMPARE(ui->toasts->lastMessage(), QStringLiteral("Chat deleted"));
        QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("delete")});
    }

    void deletingWhileAReplyIsPending_leavesThePageUsable()
    {
        ui->server->route(MODEL, reply(QStringLiteral("too late"), 400));
        open();
        ask(QStringLiteral("hello?"));
        QVERIFY(page->isBusy());
        QTest::mouseClick(buttonWithText(page, QStringLiteral("  Delete chat")), Qt::LeftButton);
        QVERIFY(!page->isBusy());
        QVERIFY(input()->isEnabled());
        QCOMPARE(listTitles(), QStringList{"New chat"});
        QTRY_COMPARE(ui->server->count(MODEL), 1);
        QTest::qWait(600);
        QVERIFY(showsPlaceholder());
        QCOMPARE(listTitles(), QStringList{"New chat"});
    }

    void newChat_reusesAnEmptyOne()
    {
        open();
        const QString first = page->currentId();
        QPushButton *newChat = buttonWithText(page, QStringLiteral("  New chat"));
        QTest::mouseClick(newChat, Qt::LeftButton);
        QCOMPARE(page->currentId(), first);
        QCOMPARE(list()->count(), 1);
        QCOMPARE(storedChats().size(), 1);
        QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("click")});
    }

    void newChat_afterAConversation_startsAnotherAtTheTop()
    {
        writeChats({{"aaa", "First", {"q1", "a1"}}});
        open();
        QTest::mouseClick(buttonWithText(page, QStringLiteral("  New chat")), Qt::LeftButton);
        QVERIFY(page->currentId() != QLatin1String("aaa"));
        QCOMPARE(listTitles(), (QStringList{"New chat", "First"}));
        QCOMPARE(list()->currentRow(), 0);
        QVERIFY(showsPlaceholder());
        QCOMPARE(storedChats().size(), 2);
    }

    void newChat_whileAReplyIsPending_dropsTheReply()
    {
        writeChats({{"aaa", "First", {"q1", "a1"}}});
        ui->server->route(MODEL, reply(QStringLiteral("late"), 400));
        open();
        ask(QStringLiteral("q2"));
        QTest::mouseClick(buttonWithText(page, QStringLiteral("  New chat")), Qt::LeftButton);
        QVERIFY(!page->isBusy());
        QVERIFY(input()->isEnabled());
        const QString fresh = page->currentId();
        QTRY_COMPARE(ui->server->count(MODEL), 1);
        QTest::qWait(600);
        // The list still marks the new conversation, and its thread stays empty.
        QCOMPARE(page->currentId(), fresh);
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(list()->currentItem()->data(Qt::UserRole).toString(), fresh);
        QVERIFY(showsPlaceholder());
    }

    void missingKey_saysWhereToAddIt_andSendsNothing()
    {
        open(false);
        QVERIFY(ui->context->settings.openai_api_key.isEmpty());
        ask(QStringLiteral("Who wins the league?"));
        QCOMPARE(ui->toasts->lastMessage(), QStringLiteral("Add an OpenAI API key in Settings first."));
        QCOMPARE(ui->toasts->lastKind(), QStringLiteral("error"));
        QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("error")});
        QCOMPARE(input()->text(), QStringLiteral("Who wins the league?"));
        QVERIFY(showsPlaceholder());
        QVERIFY(!page->isBusy());
        QTest::qWait(50);
        QCOMPARE(ui->server->count(MODEL), 0);
    }

    void longThread_scrollsToTheNewestMessage()
    {
        QStringList texts;
        for (int i = 0; i < 40; ++i)
            texts.append(QStringLiteral("message %1 with a little text to take some room").arg(i));
        writeChats({{"aaa", "Long", texts}});
        open();
        QScrollBar *bar = page->findChild<QScrollArea *>(QStringLiteral("ChatScroll"))->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TestChatPage)
#include "tst_chatpage.moc"
