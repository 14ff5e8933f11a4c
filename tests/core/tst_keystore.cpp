#include "app/KeyStore.h"
#include "app/Paths.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

// Runs twice: in a private session bus with a real, unlocked GNOME keyring
// (TOLVO_TEST_KEYRING set, see tests/support/with-keyring.sh), and with no
// bus at all, where settings.json keeps the key.
using namespace Qt::StringLiterals;

class TestKeyStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    const bool keyring = qEnvironmentVariableIsSet("TOLVO_TEST_KEYRING");

    static QString keyInFile()
    {
        return QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath()))
            .object()
            .value("openai_api_key")
            .toString();
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        qunsetenv("OPENAI_API_KEY");
        KeyStore::removeNow(KEYSTORE_TIMEOUT_MS);
    }
    void cleanup() { env.reset(); }

    void storeThenStart_findsTheKeyWhereItWasKept()
    {
        Settings settings = Settings::load();
        const ApiKeySource where = storeApiKey(settings, u"sk-typed-1234"_s, KEYSTORE_TIMEOUT_MS);
        QCOMPARE(where, keyring ? ApiKeySource::Keychain : ApiKeySource::File);
        QCOMPARE(KeyStore::lastSeenAvailable(), keyring);
        QCOMPARE(keyInFile(), keyring ? QString() : u"sk-typed-1234"_s);
#ifdef Q_OS_UNIX
        QCOMPARE(QFile::permissions(settingsFilePath()) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
        Settings next = Settings::load();
        resolveApiKey(next, KEYSTORE_TIMEOUT_MS);
        QCOMPARE(next.openai_api_key, u"sk-typed-1234"_s);
        QCOMPARE(next.api_key_source, where);

        if (keyring) {
            QCOMPARE(KeyStore::removeNow(KEYSTORE_TIMEOUT_MS).outcome, KeyStore::Outcome::Done);
            QCOMPARE(KeyStore::readNow(KEYSTORE_TIMEOUT_MS).outcome, KeyStore::Outcome::NotFound);
        }
    }

    void keyInTheFile_movesIntoTheKeychainOnceItTakesIt()
    {
        TestEnv::writeFile(settingsFilePath(), R"({"openai_api_key": "sk-by-hand", "theme": "light"})");
        Settings settings = Settings::load();
        resolveApiKey(settings, KEYSTORE_TIMEOUT_MS);
        QCOMPARE(settings.openai_api_key, u"sk-by-hand"_s);
        QCOMPARE(keyInFile(), keyring ? QString() : u"sk-by-hand"_s);
        QCOMPARE(KeyStore::readNow(KEYSTORE_TIMEOUT_MS).key, keyring ? u"sk-by-hand"_s : QString());
    }

    void environmentKey_neverReachesAFile()
    {
        TestEnv::writeFile(settingsFilePath(), R"({"openai_api_key": "", "theme": "light"})");
        qputenv("OPENAI_API_KEY", "sk-from-env-0000");
        Settings settings = Settings::load();
        resolveApiKey(settings, KEYSTORE_TIMEOUT_MS);
        settings.theme = u"dark"_s;
        QVERIFY(settings.save());
        QCOMPARE(keyInFile(), QString());

        // A key stored meanwhile is saved; the environment's stays in effect.
        storeApiKey(settings, u"sk-stored-1111"_s, KEYSTORE_TIMEOUT_MS);
        QCOMPARE(settings.openai_api_key, u"sk-from-env-0000"_s);
        QVERIFY(!TestEnv::readFile(settingsFilePath()).contains("sk-from-env"));
        QVERIFY(!KeyStore::readNow(KEYSTORE_TIMEOUT_MS).key.contains(QLatin1String("sk-from-env")));
        qunsetenv("OPENAI_API_KEY");
    }
};

QTEST_GUILESS_MAIN(TestKeyStore)
#include "tst_keystore.moc"
