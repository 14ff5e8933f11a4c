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

namespace {} // namespace

class TestChatStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

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
};

QTEST_GUILESS_MAIN(TestChatStore)
#include "tst_chatstore.moc"
