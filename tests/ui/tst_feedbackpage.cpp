#include "UiHarness.h"
#include "app/Log.h"
#include "support/TestHttp.h"
#include "ui/common/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>

namespace {

const QByteArray Token = "Relay_Token_0123456789abcdefghij";
const QString Report = u"/report"_s;

} // namespace

class TestFeedbackPage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> ui;
    QWidget *page = nullptr;

    void open()
    {
        ui->start(RelayConfig{ui->server.baseUrl(), QString::fromLatin1(Token)});
        ui->open(u"feedback"_s);
        QVERIFY(QTest::qWaitForWindowActive(ui->window.get()));
        page = ui->page(u"feedback"_s);
    }
    template <typename W> W *field(const char *name) const
    {
        return page->findChild<W *>(QLatin1String(name));
    }
    QComboBox *category() const { return field<QComboBox>("FeedbackCategory"); }
    QPlainTextEdit *message() const { return field<QPlainTextEdit>("FeedbackMessage"); }
    QLineEdit *name() const { return field<QLineEdit>("FeedbackName"); }
    QPushButton *sendButton() const { return buttonWithText(page, u"  Send Report"_s); }
    QString status() const { return labelNamed(page, u"Report status"_s)->text(); }
    QStringList chipsOn() const
    {
        QStringList on;
        for (QWidget *chip : page->findChildren<QWidget *>(u"Chip"_s)) {
            if (chip->property("included").toBool())
                on.append(chip->findChild<QLabel *>(u"ChipLabel"_s)->text());
        }
        return on;
    }
    void type(QWidget *field, const QString &text)
    {
        field->setFocus();
        QTest::keyClicks(field, text);
    }
    // Chooses an entry of a combo box from the keyboard, as a user would.
    static void choose(QComboBox *combo, int index)
    {
        combo->setFocus();
        while (combo->currentIndex() != index)
            QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    }
    void tickScreenshot()
    {
        auto *box = field<QCheckBox>("FeedbackScreenshot");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    void sendAndWait()
    {
        QTest::mouseClick(sendButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sendButton()->isEnabled(), WAIT_MS);
    }
    // The parts of the report the relay received, and its Discord embed.
    QList<FormPart> sentParts() const
    {
        const StubRequest request = ui->server.requestsTo(Report).last();
        return parseMultipart(request.header("content-type"), request.body);
    }
    QJsonObject sentEmbed() const
    {
        return QJsonDocument::fromJson(sentParts().first().body)["embeds"][0].toObject();
    }

private slots:
    void init()
    {
        ui = std::make_unique<UiHarness>();
        ui->server.route(Report, StubResponse::json({}, 204));
    }
    void cleanup() { ui.reset(); }

    void report_reachesTheRelayWithEverything_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("fields");
        QTest::newRow("bug") << 0 << u"Ana"_s << u"🐞 Bug report"_s
                             << u"Type: Bug|From: Ana|Severity: Blocking — can't use it|"_s;
        QTest::newRow("idea") << 1 << u""_s << u"💡 Idea"_s << u"Type: Idea|From: Anonymous|"_s;
    }

    void report_reachesTheRelayWithEverything()
    {
        QFETCH(int, category);
        QFETCH(QString, from);
        QFETCH(QString, title);
        QFETCH(QString, fields);
        open();
        appLog(u"[test] something odd happened"_s);
        choose(this->category(), category);
        if (category == 0)
            choose(field<QComboBox>("FeedbackSeverity"), 2);
        type(message(), u"  The table froze"_s);
        QTest::keyClick(message(), Qt::Key_Return);
        QTest::keyClicks(message(), u"after the goal  "_s);
        type(name(), from);
        ui->played->clear();
        QTest::mouseClick(sendButton(), Qt::LeftButton);
        QCOMPARE(status(), u"Sending…"_s);
        QVERIFY(!sendButton()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(status(), u"Sent — thank you!"_s, WAIT_MS);
        QVERIFY(message()->toPlainText().isEmpty() && ui->toasts().isEmpty());
        QCOMPARE(ui->sounds(), (QStringList{"click", "success"}));
        // The choice stays for the next report.
        QCOMPARE(this->category()->currentIndex(), category);

        QCOMPARE(ui->server.count(Report), 1);
        QCOMPARE(ui->server.requestsTo(Report).first().header("authorization"), "Bearer " + Token);
        const QList<FormPart> parts = sentParts();
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts.at(1).body, TestEnv::readFile(assetPath({u"icons"_s, u"tolvo_256.png"_s})));
        QVERIFY(parts.at(2).body.contains("[test] something odd happened"));
        const QJsonObject embed = sentEmbed();
        QCOMPARE(embed["description"], u"> The table froze\n> after the goal"_s);
        QCOMPARE(embed["title"], title);
        QVERIFY(!embed.contains("image"_L1));
        // "name: value" of every field, the emoji left out.
        QString sent;
        for (const QJsonValue &f : embed["fields"].toArray())
            sent += f["name"].toString().section(u"  "_s, 1) + u": "_s + f["value"].toString() + u'|';
        QVERIFY2(sent.startsWith(fields) && sent.endsWith(u"Log: Attached: log.txt|"_s), qPrintable(sent));
    }

    // The preview shows exactly what goes out; the home folder reads "~".
    void log_isPreviewedAndSentWithoutTheHomeFolder_data()
    {
        QTest::addColumn<bool>("withLog");
        QTest::newRow("log kept") << true;
        QTest::newRow("log left out") << false;
    }
    void log_isPreviewedAndSentWithoutTheHomeFolder()
    {
        QFETCH(bool, withLog);
        open();
        appLog(u"[test] read "_s + QDir::homePath() + u"/private.json"_s);
        type(message(), u"Odd"_s);
        auto *box = field<QCheckBox>("FeedbackLog");
        QVERIFY(box->isChecked());
        if (!withLog)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QCOMPARE(chipsOn().contains(u"Log"_s), withLog);

        QString previewed;
        QTimer::singleShot(0, this, [&previewed]() {
            QWidget *dialog = QApplication::activeModalWidget();
            previewed = dialog->findChild<QPlainTextEdit *>(u"FeedbackPreviewText"_s)->toPlainText();
            dialog->close();
        });
        QTest::mouseClick(buttonWithText(page, u"  Preview"_s), Qt::LeftButton);
        QVERIFY(previewed.contains(u"\"description\": \"> Odd\""_s));
        QCOMPARE(previewed.contains(u"[test] read ~/private.json"_s), withLog);
        QVERIFY(!previewed.contains(QDir::homePath()));

        sendAndWait();
        const QList<FormPart> parts = sentParts();
        QCOMPARE(parts.size(), withLog ? 3 : 2);
        if (withLog) {
            QVERIFY(parts.at(2).body.contains("[test] read ~/private.json"));
            QVERIFY(!parts.at(2).body.contains(QDir::homePath().toUtf8()));
        }
    }

    void screenshot_isAttachedAsAPngOfTheScreen()
    {
        open();
        type(message(), u"Look at this"_s);
        tickScreenshot();
        sendAndWait();
        const QList<FormPart> parts = sentParts();
        QCOMPARE(parts.at(2).fileName(), QByteArray("screenshot.png"));
        QImage image;
        QVERIFY(image.loadFromData(parts.at(2).body, "PNG"));
        // The headless platform of the test run can grab its screen.
        QCOMPARE(image.size(), QGuiApplication::primaryScreen()->grabWindow(0).size());
        QCOMPARE(sentEmbed().value("image"_L1).toObject().value("url"_L1), u"attachment://screenshot.png"_s);
    }

    void relayFailures_showAnError_andKeepTheMessage_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("toast");
        // Qt reports a 500 as a network error of its own; its text follows the prefix.
        QTest::newRow("500") << u"500"_s << u"Couldn't reach the report channel: .*Internal Server Error.*"_s;
        QTest::newRow("hang-up") << u"hang-up"_s << u"Couldn't reach the report channel: .+"_s;
        QTest::newRow("no relay") << u"none"_s << u"No report channel configured for this build\\."_s;
    }

    void relayFailures_showAnError_andKeepTheMessage()
    {
        QFETCH(QString, failure);
        QFETCH(QString, toast);
        StubResponse response = StubResponse::error(500);
        response.hangUp = failure == "hang-up"_L1;
        ui->server.route(Report, response);
        open();
        if (failure == "none"_L1)
            ui->context->relay = RelayConfig{};
        type(message(), u"Crashes on start"_s);
        ui->played->clear();
        sendAndWait();
        QVERIFY2(QRegularExpression(u'^' + toast + u'$').match(ui->lastToast()).hasMatch(),
                 qPrintable(ui->lastToast()));
        QCOMPARE(ui->toastKinds(), QStringList{"error"});
        QVERIFY(status().isEmpty());
        QCOMPARE(message()->toPlainText(), u"Crashes on start"_s);
        QCOMPARE(ui->sounds(), (QStringList{"click", "error"}));
    }

    void chips_showWhatTheReportIncludes_inTheCurrentLook()
    {
        open();
        QCOMPARE(chipsOn(), (QStringList{"Category", "Log"}));
        type(message(), u"x"_s);
        tickScreenshot();
        QCOMPARE(chipsOn(), (QStringList{"Category", "Message", "Screenshot", "Log"}));
        QTest::keyClick(message(), Qt::Key_Backspace);
        // White space alone is no message.
        type(message(), u"  "_s);
        QCOMPARE(chipsOn(), (QStringList{"Category", "Screenshot", "Log"}));

        // A new accent and the light theme reach the chips; off chips stay
        // readable on the light card.
        ui->window->applyAccent(u"purple"_s);
        ui->window->applyTheme(u"light"_s);
        ui->navigate(u"update"_s);
        ui->navigate(u"feedback"_s);
        const auto chips = page->findChildren<QWidget *>(u"Chip"_s);
        QVERIFY(chips.at(0)->styleSheet().contains(accentPalettes().value(u"purple"_s).accent));
        QVERIFY(!chips.at(1)->styleSheet().contains(u"255,255,255"_s));
    }
};

QTEST_MAIN(TestFeedbackPage)
#include "tst_feedbackpage.moc"
