#include "app/Paths.h"
#include "model/ChatStore.h"
#include "model/FavoritesStore.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

Match match(const QString &id, const QString &home = u"Home"_s)
{
    Match m;
    m.id = id;
    m.home_team = home;
    m.away_team = u"Away"_s;
    return m;
}

} // namespace

class TestStores : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void favorites_truncatedFile_isPreservedAside()
    {
        FavoritesStore store(favoritesFilePath());
        store.add(match(u"a"_s));
        QByteArray bytes = TestEnv::readFile(favoritesFilePath());
        bytes.chop(bytes.size() / 2);
        TestEnv::writeFile(favoritesFilePath(), bytes);
        FavoritesStore reopened(favoritesFilePath());
        QVERIFY(reopened.all().isEmpty());
        QCOMPARE(dataDir().entryList({u"favorites.json.corrupt-*"_s}).size(), 1);

        // An empty file is simply a new store; nothing to keep.
        TestEnv::writeFile(favoritesFilePath(), "");
        FavoritesStore favorites(favoritesFilePath());
        QVERIFY(favorites.all().isEmpty());
        QCOMPARE(dataDir().entryList({u"favorites.json.corrupt-*"_s}).size(), 1);
    }

    void favorites_failedSave_keepsMemoryAndPreviousFile()
    {
        FavoritesStore store(favoritesFilePath());
        store.add(match(u"kept"_s));
        const QByteArray before = TestEnv::readFile(favoritesFilePath());

        // Put a folder where the rename must land: the write cannot succeed.
        const QString path = favoritesFilePath();
        QFile::rename(path, path + u".real"_s);
        QDir().mkpath(path + u"/blocker"_s);
        store.add(match(u"lost at exit"_s));
        QCOMPARE(store.all().size(), 2);
        QDir(path).removeRecursively();
        QFile::rename(path + u".real"_s, path);
        QCOMPARE(TestEnv::readFile(path), before);
        QVERIFY(TestEnv::readFile(logFilePath()).contains("Could not save"));
        // No temporary files left behind.
        QCOMPARE(dataDir().entryList(QDir::Files).filter(u"favorites"_s).size(), 1);
    }
    void chat_longTitlesAreCut_data()
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
    void chat_longTitlesAreCut()
    {
        QFETCH(QString, text);
        Conversation c;
        c.add(u"user"_s, text);
        QTEST(c.title, "title");
        QCOMPARE(c.messages.front().content, text);
    }
};

QTEST_GUILESS_MAIN(TestStores)
#include "tst_stores.moc"
