#include "QuietEspn.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "services/FeedbackReport.h"
#include "stubserver/StubServer.h"
#include "support/RelayProcess.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/common/SoundManager.h"
#include "ui/common/Theme.h"
#include "ui/pages/FeedbackPage.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"
#include "ui/shell/Toast.h"
#include "ui/shell/ToastManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QByteArray Token = "Relay_Token_0123456789abcdefghij";
const QString Green = QStringLiteral("#1CB05A");

struct SentReport
{
    QByteArray authorization;
    QList<FormPart> parts;
    QJsonObject embed;

    QByteArrayList partNames() const
    {
        QByteArrayList names;
        for (const FormPart &part : parts)
            names.append(part.name());
        return names;
    }
    // "name: value" of every field, the emoji left out.
    QStringList fields() const
    {
        QStringList lines;
        for (const QJsonValue &value : embed.value(QStringLiteral("fields")).toArray()) {
            const QJsonObject field = value.toObject();
            lines.append(field.value(QStringLiteral("name")).toString().section(QStringLiteral("  "), 1) +
                         QStringLiteral(": ") + field.value(QStringLiteral("value")).toString());
        }
        return lines;
    }
};

SentReport parseReport(const StubRequest &request)
{
    SentReport report;
    report.authorization = request.header("authorization");
    report.parts = parseMultipart(request.header("content-type"), request.body);
    if (!report.parts.isEmpty())
        report.embed = QJsonDocument::fromJson(report.parts.first().body)
                           .object()
                           .value(QStringLiteral("embeds"))
                           .toArray()
                           .first()
                           .toObject();
    return report;
}

} // namespace

class TestFeedbackPage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> relay;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> played;
    QWidget *page = nullptr;

    void open(const QByteArray &settingsJson = {})
    {
        window.reset();
        played.reset();
        context.reset();
        if (!settingsJson.isEmpty())
            TestEnv::writeFile(settingsFilePath(), settingsJson);
        useQuietEspn(*relay);
        context = std::make_unique<AppContext>(RelayConfig{relay->baseUrl(), QString::fromLatin1(Token)});
        window = std::make_unique<MainWindow>(context.get());
        window->setUpdateBase(QString());
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::mouseClick(window->findChild<Sidebar *>()->buttonFor(QStringLiteral("feedback")),
                          Qt::LeftButton);
        page = window->page(QStringLiteral("feedback"));
        QVERIFY(qobject_cast<FeedbackPage *>(page));
        QCOMPARE(window->currentPage(), page);
        played = std::make_unique<QSignalSpy>(context->sound.get(), &SoundManager::played);
    }

    QComboBox *category() const { return page->findChild<QComboBox *>(QStringLiteral("FeedbackCategory")); }
    QComboBox *severity() const { return page->findChild<QComboBox *>(QStringLiteral("FeedbackSeverity")); }
    QPlainTextEdit *message() const
    {
        return page->findChild<QPlainTextEdit *>(QStringLiteral("FeedbackMessage"));
    }
    QLineEdit *name() const { return page->findChild<QLineEdit *>(QStringLiteral("FeedbackName")); }
    QCheckBox *screenshotBox() const
    {
        return page->findChild<QCheckBox *>(QStringLiteral("FeedbackScreenshot"));
    }
    QLabel *heading() const { return page->findChild<QLabel *>(QStringLiteral("FeedbackHeading")); }
    QPushButton *sendButton() const
    {
        for (QPushButton *button : page->findChildren<QPushButton *>()) {
            if (button->text() == QLatin1String("  Send Report"))
                return button;
        }
        return nullptr;
    }
    QLabel *status() const
    {
        for (QLabel *label : page->findChildren<QLabel *>()) {
            if (label->accessibleName() == QLatin1String("Report status"))
                return label;
        }
        return nullptr;
    }
    QFrame *chip(const QString &label) const
    {
        for (QFrame *frame : page->findChildren<QFrame *>(QStringLiteral("Chip"))) {
            if (frame->findChild<QLabel *>(QStringLiteral("ChipLabel"))->text() == label)
                return frame;
        }
        return nullptr;
    }
    bool included(const QString &label) const { return chip(label)->property("included").toBool(); }
    QStringList chipsOn() const
    {
        QStringList on;
        for (const QString &label :
             {QStringLiteral("Category"), QStringLiteral("Message"), QStringLiteral("Screenshot")}) {
            if (included(label))
                on.append(label);
        }
        return on;
    }
    QStringList playedNames() const
    {
        QStringList names;
        for (const QList<QVariant> &call : *played)
            names.append(call.first().toString());
        return names;
    }
    QList<Toast *> toasts() const { return window->toastManager()->toasts(); }

    void typeMessage(const QStringList &lines)
    {
        message()->setFocus();
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(message(), Qt::Key_Return);
            QTest::keyClicks(message(), lines.at(i));
        }
    }

    // Chooses an entry of a combo box from the keyboard, as a user would.
    static void choose(QComboBox *combo, int index)
    {
        combo->setFocus();
        while (combo->currentIndex() < index)
            QTest::keyClick(combo, Qt::Key_Down);
        while (combo->currentIndex() > index)
            QTest::keyClick(combo, Qt::Key_Up);
    }

    // Sends and waits until the page has its button back.
    void sendAndWait()
    {
        QTest::mouseClick(sendButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sendButton()->isEnabled(), 20000);
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        relay = std::make_unique<StubServer>();
        relay->route(QStringLiteral("/report"), StubResponse::json({}, 204));
    }

    void cleanup()
    {
        page = nullptr;
        window.reset();
        played.reset();
        context.reset();
        relay.reset();
        env.reset();
    }

    void emptyMessage_asksForOne_andSendsNothing()
    {
        open();
        typeMessage({QStringLiteral("   ")});
        name()->setFocus();
        QTest::mouseClick(sendButton(), Qt::LeftButton);

        QCOMPARE(toasts().size(), 1);
        QCOMPARE(toasts().first()->message(),
                 QStringLiteral("Add a short message first — even one line helps."));
        QVERIFY(toasts().first()->styleSheet().contains(Toast::colorFor(QStringLiteral("info"))));
        QCOMPARE(playedNames(), QStringList{QStringLiteral("error")});
        QTRY_VERIFY(message()->hasFocus());
        QVERIFY(sendButton()->isEnabled());
        QVERIFY(status()->text().isEmpty());
        QTest::qWait(100);
        QCOMPARE(relay->count(QStringLiteral("/report")), 0);
    }

    void categories_switchHeadingPlaceholderIconAndSeverity()
    {
        open();
        struct Expected
        {
            QString label, heading, placeholder, icon;
        };
        const QList<Expected> expected = {
            {QStringLiteral("Bug"), QStringLiteral("Report a Problem"),
             QStringLiteral("What happened, and what did you expect instead?"), QStringLiteral("bug")},
            {QStringLiteral("Idea"), QStringLiteral("Share an Idea"),
             QStringLiteral("What would you like Tolvo to do? Describe it however you like."),
             QStringLiteral("lightbulb")},
            {QStringLiteral("Question"), QStringLiteral("Ask a Question"),
             QStringLiteral("What would you like to know?"), QStringLiteral("circle-question")},
            {QStringLiteral("Praise"), QStringLiteral("Say Something Nice"),
             QStringLiteral("What did you enjoy? It genuinely helps to hear it."), QStringLiteral("heart")},
        };
        QCOMPARE(category()->count(), expected.size());
        QCOMPARE(severity()->currentData().toString(), QStringLiteral("major"));
        QCOMPARE(severity()->count(), 3);
        QCOMPARE(severity()->itemText(2), QStringLiteral("Blocking — can't use it"));

        // Down through every category and back to the first.
        QList<int> order = {0, 1, 2, 3, 0};
        for (int index : order) {
            choose(category(), index);
            const Expected &e = expected.at(index);
            QCOMPARE(category()->currentText(), e.label);
            QCOMPARE(heading()->text(), e.heading);
            QCOMPARE(message()->placeholderText(), e.placeholder);
            QCOMPARE(severity()->isVisible(), index == 0);
            QCOMPARE(page->findChild<QLabel *>(QStringLiteral("FeedbackIcon"))->pixmap().toImage(),
                     faPixmap(e.icon, QColor(Green), 16).toImage());
        }
        // One click per step: 0 to 3 and, by the arrow keys, back up to 0.
        QCOMPARE(playedNames(), QStringList(6, QStringLiteral("click")));
    }

    void chips_showWhatTheReportIncludes()
    {
        open();
        QCOMPARE(chipsOn(), QStringList{QStringLiteral("Category")});
        QVERIFY(chip(QStringLiteral("Category"))
                    ->styleSheet()
                    .contains(QStringLiteral("background-color: ") + Green));
        QVERIFY(
            chip(QStringLiteral("Message"))->styleSheet().contains(QStringLiteral("rgba(255,255,255,18)")));

        typeMessage({QStringLiteral("x")});
        QCOMPARE(chipsOn(), (QStringList{QStringLiteral("Category"), QStringLiteral("Message")}));
        QTest::mouseClick(screenshotBox(), Qt::LeftButton, {}, QPoint(8, screenshotBox()->height() / 2));
        QVERIFY(screenshotBox()->isChecked());
        QCOMPARE(chipsOn().size(), 3);
        QVERIFY(chip(QStringLiteral("Screenshot"))->styleSheet().contains(QStringLiteral("color: white")));

        QTest::keyClick(message(), Qt::Key_Backspace);
        QCOMPARE(chipsOn(), (QStringList{QStringLiteral("Category"), QStringLiteral("Screenshot")}));
        // White space alone is no message.
        QTest::keyClicks(message(), QStringLiteral("  "));
        QVERIFY(!included(QStringLiteral("Message")));
    }

    void accentAndTheme_changes_reachTheChipsAndIcon()
    {
        open();
        window->applyAccent(QStringLiteral("purple"));
        window->applyTheme(QStringLiteral("light"));
        // Back to the page after the settings changed.
        QTest::mouseClick(window->findChild<Sidebar *>()->buttonFor(QStringLiteral("update")),
                          Qt::LeftButton);
        QTest::mouseClick(window->findChild<Sidebar *>()->buttonFor(QStringLiteral("feedback")),
                          Qt::LeftButton);
        const QString purple = accentPalettes().value(QStringLiteral("purple")).accent;
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("FeedbackIcon"))->pixmap().toImage(),
                 faPixmap(QStringLiteral("bug"), QColor(purple), 16).toImage());
        QVERIFY(chip(QStringLiteral("Category"))->styleSheet().contains(purple));
        // Off chips stay readable on the light theme's white card.
        const QString off = chip(QStringLiteral("Message"))->styleSheet();
        QVERIFY(!off.contains(QStringLiteral("255,255,255")));
        QVERIFY(off.contains(QStringLiteral("rgba(0,0,0,")));

        // An unknown accent falls back to green.
        window->applyAccent(QStringLiteral("chartreuse"));
        QCOMPARE(static_cast<FeedbackPage *>(page)->currentAccent(), Green);
    }

    void name_isSavedTrimmed_andFilledInNextTime()
    {
        open();
        name()->setFocus();
        QTest::keyClicks(name(), QStringLiteral("  Sam Kerr "));
        const QJsonObject saved = QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
        QCOMPARE(saved.value(QStringLiteral("reporter_name")).toString(), QStringLiteral("Sam Kerr"));
        open();
        QCOMPARE(name()->text(), QStringLiteral("Sam Kerr"));
    }

    void bugReport_reachesTheRelayWithEverything()
    {
        open();
        appLog(QStringLiteral("[test] something odd happened"));
        choose(severity(), 2);
        typeMessage({QStringLiteral("  The table froze"), QStringLiteral("after the goal  ")});
        name()->setFocus();
        QTest::keyClicks(name(), QStringLiteral("Ana"));
        played->clear();

        QTest::mouseClick(sendButton(), Qt::LeftButton);
        QCOMPARE(status()->text(), QStringLiteral("Sending…"));
        QVERIFY(!sendButton()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(status()->text(), QStringLiteral("Sent — thank you!"), 20000);
        QVERIFY(sendButton()->isEnabled());
        QVERIFY(message()->toPlainText().isEmpty());
        QVERIFY(!included(QStringLiteral("Message")));
        QCOMPARE(playedNames(), (QStringList{QStringLiteral("click"), QStringLiteral("success")}));
        QVERIFY(toasts().isEmpty());

        QCOMPARE(relay->count(QStringLiteral("/report")), 1);
        const SentReport report = parseReport(relay->requestsTo(QStringLiteral("/report")).first());
        QCOMPARE(report.authorization, "Bearer " + Token);
        QCOMPARE(report.partNames(), (QByteArrayList{"payload_json", "icon", "log"}));
        QCOMPARE(report.parts.at(1).body,
                 TestEnv::readFile(assetPath({QStringLiteral("icons"), QStringLiteral("tolvo_256.png")})));
        QVERIFY(report.parts.at(2).body.contains("[test] something odd happened"));
        QCOMPARE(report.embed.value(QStringLiteral("description")).toString(),
                 QStringLiteral("> The table froze\n> after the goal"));
        QCOMPARE(report.embed.value(QStringLiteral("title")).toString(), QStringLiteral("🐞 Bug report"));
        QVERIFY(!report.embed.contains(QStringLiteral("image")));
        const QStringList fields = report.fields();
        QCOMPARE(fields.size(), 6);
        QCOMPARE(fields.at(0), QStringLiteral("Type: Bug"));
        QCOMPARE(fields.at(1), QStringLiteral("From: Ana"));
        QCOMPARE(fields.at(2), QStringLiteral("Severity: Blocking — can't use it"));
        QCOMPARE(fields.at(5), QStringLiteral("Log: Attached: log.txt"));
    }

    void idea_sendsNoSeverity_andAnonymous()
    {
        open();
        choose(category(), 1);
        typeMessage({QStringLiteral("Dark crests please")});
        sendAndWait();
        QCOMPARE(status()->text(), QStringLiteral("Sent — thank you!"));
        const SentReport report = parseReport(relay->requestsTo(QStringLiteral("/report")).first());
        QCOMPARE(report.embed.value(QStringLiteral("title")).toString(), QStringLiteral("💡 Idea"));
        const QStringList fields = report.fields();
        QCOMPARE(fields.at(0), QStringLiteral("Type: Idea"));
        QCOMPARE(fields.at(1), QStringLiteral("From: Anonymous"));
        QVERIFY(!fields.join(QLatin1Char('\n')).contains(QStringLiteral("Severity")));
        // The choice stays for the next report.
        QCOMPARE(category()->currentText(), QStringLiteral("Idea"));
    }

    void screenshot_isAttachedAsAPngOfTheScreen()
    {
        open();
        typeMessage({QStringLiteral("Look at this")});
        QTest::mouseClick(screenshotBox(), Qt::LeftButton, {}, QPoint(8, screenshotBox()->height() / 2));
        sendAndWait();
        const SentReport report = parseReport(relay->requestsTo(QStringLiteral("/report")).first());
        const QImage desktop = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        // The headless platform of the test run can grab its screen.
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            QVERIFY(!desktop.isNull());
        if (desktop.isNull()) {
            // This platform cannot grab the screen: the report goes without.
            QVERIFY(!report.partNames().contains("screenshot"));
            QVERIFY(!report.embed.contains(QStringLiteral("image")));
            return;
        }
        QCOMPARE(report.partNames().at(2), QByteArray("screenshot"));
        QCOMPARE(report.parts.at(2).fileName(), QByteArray("screenshot.png"));
        QImage sent;
        QVERIFY(sent.loadFromData(report.parts.at(2).body, "PNG"));
        QCOMPARE(sent.size(), desktop.size());
        QCOMPARE(
            report.embed.value(QStringLiteral("image")).toObject().value(QStringLiteral("url")).toString(),
            QStringLiteral("attachment://screenshot.png"));
    }

    void relayErrors_showAsErrorToasts_andKeepTheMessage()
    {
        open();
        relay->route(QStringLiteral("/report"), StubResponse::error(500));
        typeMessage({QStringLiteral("Crashes on start")});
        played->clear();
        sendAndWait();
        const QString prefix = QStringLiteral("Couldn't reach the report channel: ");
        QCOMPARE(toasts().size(), 1);
        // Qt reports a 500 as a network error of its own; its text follows the prefix.
        QVERIFY(toasts().last()->message().startsWith(prefix));
        QVERIFY(toasts().last()->message().contains(QStringLiteral("Internal Server Error")));
        QVERIFY(toasts().last()->styleSheet().contains(Toast::colorFor(QStringLiteral("error"))));
        QVERIFY(status()->text().isEmpty());
        QCOMPARE(message()->toPlainText(), QStringLiteral("Crashes on start"));
        QCOMPARE(playedNames(), (QStringList{QStringLiteral("click"), QStringLiteral("error")}));

        StubResponse hangUp;
        hangUp.hangUp = true;
        relay->route(QStringLiteral("/report"), hangUp);
        sendAndWait();
        QCOMPARE(toasts().size(), 2);
        QVERIFY(toasts().last()->message().startsWith(prefix));
        QVERIFY(toasts().last()->message().size() > prefix.size());

        context->relay = RelayConfig{};
        sendAndWait();
        QCOMPARE(toasts().last()->message(), QStringLiteral("No report channel configured for this build."));
        QCOMPARE(message()->toPlainText(), QStringLiteral("Crashes on start"));
    }

    void report_throughTheRealRelay_isStored()
    {
#ifndef TOLVO_RELAY_BINARY
        QSKIP("built without the relay program");
#else
        RelayProcess realRelay(QStringLiteral(TOLVO_RELAY_BINARY), Token);
        QVERIFY(!realRelay.baseUrl.isEmpty());
        open();
        context->relay = RelayConfig{realRelay.baseUrl, QString::fromLatin1(Token)};
        appLog(QStringLiteral("[test] before the report"));
        choose(category(), 3);
        typeMessage({QStringLiteral("Lovely app")});
        sendAndWait();
        QCOMPARE(status()->text(), QStringLiteral("Sent — thank you!"));

        const QStringList stored = realRelay.storedReports();
        QCOMPARE(stored.size(), 1);
        const QDir folder(QDir(realRelay.reportsDir).filePath(stored.first()));
        QVERIFY(folder.exists(QStringLiteral("log.txt")));
        QVERIFY(TestEnv::readFile(folder.filePath(QStringLiteral("log.txt")))
                    .contains("[test] before the report"));
        const QJsonObject embed =
            QJsonDocument::fromJson(TestEnv::readFile(folder.filePath(QStringLiteral("payload.json"))))
                .object()
                .value(QStringLiteral("embeds"))
                .toArray()
                .first()
                .toObject();
        QCOMPARE(embed.value(QStringLiteral("title")).toString(), QStringLiteral("💚 Praise"));
        QCOMPARE(embed.value(QStringLiteral("description")).toString(), QStringLiteral("> Lovely app"));
#endif
    }
};

QTEST_MAIN(TestFeedbackPage)
#include "tst_feedbackpage.moc"
