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
        ui->open(u"settings"_s);
        page = ui->page<SettingsPage>(u"settings"_s);
    }
    QLineEdit *edit(const char *name) const { return page->findChild<QLineEdit *>(QLatin1String(name)); }
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
        QVERIFY(labels().contains(u"No key saved."_s));
        QTest::keyClicks(edit("ApiKeyEdit"), u"sk-pasted-4321"_s);
        QCOMPARE(edit("ApiKeyEdit")->echoMode(), QLineEdit::Password);
        QTest::mouseClick(buttonWithText(page, u"Show"_s), Qt::LeftButton);
        QCOMPARE(edit("ApiKeyEdit")->echoMode(), QLineEdit::Normal);
        QTest::mouseClick(buttonWithText(page, u"  Save key"_s), Qt::LeftButton);
        // The tests run without a session bus: no keychain answers.
        QTRY_VERIFY(labels().contains(QStringLiteral(
            "No system keychain found — the key is kept in settings.json, readable by you only.")));
        QCOMPARE(savedSettings().value("openai_api_key").toString(), u"sk-pasted-4321"_s);
        QCOMPARE(ui->context->settings.openai_api_key, u"sk-pasted-4321"_s);

        QTest::mouseClick(buttonWithText(page, u"  Remove key"_s), Qt::LeftButton);
        QTRY_VERIFY(labels().contains(u"No key saved."_s));
        QCOMPARE(savedSettings().value("openai_api_key").toString(), QString());
        QVERIFY(ui->context->settings.openai_api_key.isEmpty());
    }

    void environmentKey_readOnly_andAddressRefusedUnlessHttp()
    {
        open(true);
        QVERIFY(edit("ApiKeyEdit")->isReadOnly());
        QVERIFY(!buttonWithText(page, u"  Save key"_s)->isEnabled());
        type(edit("ServiceAddressEdit"), u"ftp://models.example"_s);
        QVERIFY(labels().contains(u"Enter an http:// or https:// address"_s));
        // Neither the refused address nor the environment's key reaches the file.
        QCOMPARE(savedSettings().value("openai_base_url").toString(), QString());
        QVERIFY(!TestEnv::readFile(settingsFilePath()).contains("sk-test"));
        type(edit("ServiceAddressEdit"), u"http://localhost:11434/"_s);
        QVERIFY(!labels().contains(u"Enter an http:// or https:// address"_s));
        QCOMPARE(savedSettings().value("openai_base_url").toString(), u"http://localhost:11434"_s);
    }

    void testConnection_saysWhatHappened_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QString>("shown");
        QTest::newRow("answered") << 200 << u"Connected — llama3.1:8b answered in "_s;
        QTest::newRow("wrong key")
            << 401 << u"The service refused the API key (HTTP 401): check that it is right."_s;
        QTest::newRow("not OpenAI-compatible") << 404 << u"is not an OpenAI-compatible address (HTTP 404)."_s;
        QTest::newRow("nothing listens") << 0 << u"Nothing listens at http://127.0.0.1:"_s;
    }

    void testConnection_saysWhatHappened()
    {
        QFETCH(int, status);
        QFETCH(QString, shown);
        open(false);
        ui->server.route(u"/v1/chat/completions"_s,
                         StubResponse::json(R"({"choices":[{"message":{"content":"OK"}}]})", status));
        if (status == 0) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            qputenv("TOLVO_OPENAI_BASE",
                    QByteArray("http://127.0.0.1:") + QByteArray::number(closed.serverPort()));
            closed.close();
        }
        // A model of the user's own server, typed and confirmed.
        auto *model = page->findChild<QComboBox *>(u"ModelCombo"_s);
        model->lineEdit()->selectAll();
        QTest::keyClicks(model->lineEdit(), u"llama3.1:8b"_s);
        QTest::keyClick(model->lineEdit(), Qt::Key_Return);
        QCOMPARE(savedSettings().value("openai_model").toString(), u"llama3.1:8b"_s);

        // Pasted and tested at once: the key is saved on the way.
        QTest::keyClicks(edit("ApiKeyEdit"), u"sk-new-key-5555"_s);
        QTest::mouseClick(buttonWithText(page, u"  Test connection"_s), Qt::LeftButton);
        QTRY_VERIFY2(labels().contains(shown), qPrintable(labels()));
        QCOMPARE(ui->context->settings.openai_api_key, u"sk-new-key-5555"_s);
        if (status != 0)
            QCOMPARE(ui->server.requestsTo(u"/v1/chat/completions"_s).first().header("authorization"),
                     QByteArray("Bearer sk-new-key-5555"));
    }

    void refreshModels_addsTheServicesModels()
    {
        open(true);
        ui->server.route(u"/v1/models"_s,
                         StubResponse::json(R"({"data":[{"id":"gpt-4o"},{"id":"qwen2.5-7b-instruct"}]})"));
        auto *model = page->findChild<QComboBox *>(u"ModelCombo"_s);
        QTest::mouseClick(buttonWithText(page, u"  Refresh models"_s), Qt::LeftButton);
        QTRY_COMPARE(model->count(), 5);
        QCOMPARE(model->itemText(4), u"qwen2.5-7b-instruct"_s);
        QCOMPARE(model->currentText(), u"gpt-4o-mini"_s);
        QVERIFY(labels().contains(u"2 models listed by the service."_s));
    }
};

QTEST_MAIN(TestServiceCard)
#include "tst_servicecard.moc"
