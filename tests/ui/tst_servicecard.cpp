#include "UiHarness.h"
#include "app/Paths.h"
#include "ui/pages/SettingsPage.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>

namespace {

QJsonObject savedSettings()
{
    return QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
}

} // namespace

class TestServiceCard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> ui;
    SettingsPage *page = nullptr;

    void open(bool withEnvironmentKey)
    {
        ui = std::make_unique<UiHarness>(QByteArray("{}"));
        if (withEnvironmentKey)
            qputenv("OPENAI_API_KEY", "sk-test");
        ui->open(QStringLiteral("settings"));
        page = ui->page<SettingsPage>(QStringLiteral("settings"));
    }
    QLineEdit *edit(const char *name) const { return page->findChild<QLineEdit *>(QLatin1String(name)); }
    QPushButton *button(const QString &text) const
    {
        for (QPushButton *b : page->findChildren<QPushButton *>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }
    // The texts of the page's labels, so a test reads what the user reads.
    QString labels() const
    {
        QStringList texts;
        for (QLabel *label : page->findChildren<QLabel *>()) {
            if (label->isVisibleTo(page))
                texts.append(label->text());
        }
        return texts.join(QLatin1Char('\n'));
    }
    void type(QLineEdit *field, const QString &text)
    {
        field->clear();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

private slots:
    void cleanup()
    {
        page = nullptr;
        ui.reset();
    }

    void pastedKey_isKeptPrivately_andRemoved()
    {
        open(false);
        QVERIFY(labels().contains(QStringLiteral("No key saved.")));
        QTest::keyClicks(edit("ApiKeyEdit"), QStringLiteral("sk-pasted-4321"));
        QCOMPARE(edit("ApiKeyEdit")->echoMode(), QLineEdit::Password);
        QTest::mouseClick(button(QStringLiteral("Show")), Qt::LeftButton);
        QCOMPARE(edit("ApiKeyEdit")->echoMode(), QLineEdit::Normal);
        QTest::mouseClick(button(QStringLiteral("  Save key")), Qt::LeftButton);
        // The tests run without a session bus: no keychain answers.
        QTRY_VERIFY(labels().contains(QStringLiteral(
            "No system keychain found — the key is kept in settings.json, readable by you only.")));
        QCOMPARE(savedSettings().value("openai_api_key").toString(), QStringLiteral("sk-pasted-4321"));
        QCOMPARE(ui->context->settings.openai_api_key, QStringLiteral("sk-pasted-4321"));

        QTest::mouseClick(button(QStringLiteral("  Remove key")), Qt::LeftButton);
        QTRY_VERIFY(labels().contains(QStringLiteral("No key saved.")));
        QCOMPARE(savedSettings().value("openai_api_key").toString(), QString());
        QVERIFY(ui->context->settings.openai_api_key.isEmpty());
    }

    void environmentKey_readOnly_andAddressRefusedUnlessHttp()
    {
        open(true);
        QVERIFY(edit("ApiKeyEdit")->isReadOnly());
        QVERIFY(!button(QStringLiteral("  Save key"))->isEnabled());
        type(edit("ServiceAddressEdit"), QStringLiteral("ftp://models.example"));
        QVERIFY(labels().contains(QStringLiteral("Enter an http:// or https:// address")));
        // Neither the refused address nor the environment's key reaches the file.
        QCOMPARE(savedSettings().value("openai_base_url").toString(), QString());
        QVERIFY(!TestEnv::readFile(settingsFilePath()).contains("sk-test"));
        type(edit("ServiceAddressEdit"), QStringLiteral("http://localhost:11434/"));
        QVERIFY(!labels().contains(QStringLiteral("Enter an http:// or https:// address")));
        QCOMPARE(savedSettings().value("openai_base_url").toString(),
                 QStringLiteral("http://localhost:11434"));
    }

    void testConnection_saysWhatHappened_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QString>("shown");
        QTest::newRow("answered") << 200 << "Connected — llama3.1:8b answered in ";
        QTest::newRow("wrong key") << 401
                                   << "The service refused the API key (HTTP 401): check that it is right.";
        QTest::newRow("not OpenAI-compatible") << 404 << "is not an OpenAI-compatible address (HTTP 404).";
        QTest::newRow("nothing listens") << 0 << "Nothing listens at http://127.0.0.1:";
    }

    void testConnection_saysWhatHappened()
    {
        QFETCH(int, status);
        QFETCH(QString, shown);
        open(false);
        ui->server.route(QStringLiteral("/v1/chat/completions"),
                         StubResponse::json(R"({"choices":[{"message":{"content":"OK"}}]})", status));
        if (status == 0) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            qputenv("TOLVO_OPENAI_BASE",
                    QByteArray("http://127.0.0.1:") + QByteArray::number(closed.serverPort()));
            closed.close();
        }
        // A model of the user's own server, typed and confirmed.
        auto *model = page->findChild<QComboBox *>(QStringLiteral("ModelCombo"));
        model->lineEdit()->selectAll();
        QTest::keyClicks(model->lineEdit(), QStringLiteral("llama3.1:8b"));
        QTest::keyClick(model->lineEdit(), Qt::Key_Return);
        QCOMPARE(savedSettings().value("openai_model").toString(), QStringLiteral("llama3.1:8b"));

        // Pasted and tested at once: the key is saved on the way.
        QTest::keyClicks(edit("ApiKeyEdit"), QStringLiteral("sk-new-key-5555"));
        QTest::mouseClick(button(QStringLiteral("  Test connection")), Qt::LeftButton);
        QTRY_VERIFY2(labels().contains(shown), qPrintable(labels()));
        QCOMPARE(ui->context->settings.openai_api_key, QStringLiteral("sk-new-key-5555"));
        if (status != 0)
            QCOMPARE(
                ui->server.requestsTo(QStringLiteral("/v1/chat/completions")).first().header("authorization"),
                QByteArray("Bearer sk-new-key-5555"));
    }

    void refreshModels_addsTheServicesModels()
    {
        open(true);
        ui->server.route(QStringLiteral("/v1/models"),
                         StubResponse::json(R"({"data":[{"id":"gpt-4o"},{"id":"qwen2.5-7b-instruct"}]})"));
        auto *model = page->findChild<QComboBox *>(QStringLiteral("ModelCombo"));
        QTest::mouseClick(button(QStringLiteral("  Refresh models")), Qt::LeftButton);
        QTRY_COMPARE(model->count(), 5);
        QCOMPARE(model->itemText(4), QStringLiteral("qwen2.5-7b-instruct"));
        QCOMPARE(model->currentText(), QStringLiteral("gpt-4o-mini"));
        QVERIFY(labels().contains(QStringLiteral("2 models listed by the service.")));
    }
};

QTEST_MAIN(TestServiceCard)
#include "tst_servicecard.moc"
