#include "PageHarness.h"
#include "app/Paths.h"
#include "ui/common/Theme.h"
#include "ui/pages/SettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace {

QJsonObject savedSettings()
{
    return QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
}

} // namespace

class TestSettingsPage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> ui;
    SettingsPage *page = nullptr;

    void open(const QByteArray &settingsJson = {})
    {
        if (!settingsJson.isEmpty())
            TestEnv::writeFile(settingsFilePath(), settingsJson);
        ui->open(QStringLiteral("settings"));
        page = ui->page<SettingsPage>(QStringLiteral("settings"));
        QVERIFY(page);
    }

    QComboBox *combo(const char *name) const { return page->findChild<QComboBox *>(QLatin1String(name)); }
    QCheckBox *soundBox() const { return page->findChild<QCheckBox *>(QStringLiteral("SoundCheck")); }
    // On the box itself: the row is wider than the box and its text.
    static void clickBox(QCheckBox *box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    void choose(QComboBox *box, const QString &text)
    {
        const int index = box->findText(text);
        QVERIFY2(index >= 0, qPrintable(text));
        box->setCurrentIndex(index);
    }

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup()
    {
        page = nullptr;
        ui.reset();
    }

    void controls_offerTheirChoices_andShowTheStoredValues()
    {
        open(R"({"openai_model": "gpt-4.1", "thinking_depth": "deep", "theme": "light",
                 "ui_style": "legacy", "accent": "teal", "sound_enabled": false})");
        QCOMPARE(combo("ModelCombo")->count(), 4);
        QCOMPARE(combo("ModelCombo")->currentText(), QStringLiteral("gpt-4.1"));
        QCOMPARE(combo("DepthCombo")->currentText(),
                 QStringLiteral("Deep — most history, best-reasoned calls"));
        QCOMPARE(combo("ThemeCombo")->currentText(), QStringLiteral("light"));
        QCOMPARE(combo("StyleCombo")->currentText(), QStringLiteral("Legacy (gradients)"));
        QCOMPARE(combo("AccentCombo")->currentText(), QStringLiteral("teal"));
        QVERIFY(!soundBox()->isChecked());

        QStringList accents;
        for (int i = 0; i < combo("AccentCombo")->count(); ++i)
            accents.append(combo("AccentCombo")->itemData(i).toString());
        QCOMPARE(accents, accentPalettes().keys());
        QCOMPARE(accents.first(), QStringLiteral("blue"));

        QStringList cards;
        for (QLabel *label : page->findChildren<QLabel *>()) {
            if (label->parentWidget()->objectName() == QLatin1String("Card") &&
                label->styleSheet().contains(QLatin1String("font-weight: 700")))
                cards.append(label->text());
        }
        QCOMPARE(cards, (QStringList{"AI Model", "Appearance", "Sound"}));
    }

    void unknownStoredValues_areShownAsTheFirstChoice_withoutSaving()
    {
        const QByteArray stored =
            R"({"openai_model": "o4-mini", "thinking_depth": "ultra", "ui_style": "neon",
                                      "accent": "mauve", "theme": "sepia"})";
        open(stored);
        QCOMPARE(combo("ModelCombo")->currentText(), QStringLiteral("gpt-4o-mini"));
        QCOMPARE(combo("DepthCombo")->currentText(), QStringLiteral("Quick — fastest & cheapest"));
        QCOMPARE(combo("StyleCombo")->currentText(), QStringLiteral("Standard"));
        QCOMPARE(combo("AccentCombo")->currentText(), QStringLiteral("blue"));
        QCOMPARE(combo("ThemeCombo")->currentText(), QStringLiteral("dark"));
        QCOMPARE(TestEnv::readFile(settingsFilePath()), stored);
        QCOMPARE(ui->context->settings.openai_model, QStringLiteral("o4-mini"));
        QCOMPARE(ui->context->settings.thinking_depth, QStringLiteral("ultra"));

        // Showing the page again (it picks up the top bar's changes) saves nothing either.
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("about")),
                          Qt::LeftButton);
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("settings")),
                          Qt::LeftButton);
        QCOMPARE(TestEnv::readFile(settingsFilePath()), stored);
    }

    void modelAndDepth_areSavedAtOnce()
    {
        open();
        choose(combo("ModelCombo"), QStringLiteral("gpt-4.1-mini"));
        QCOMPARE(savedSettings().value("openai_model").toString(), QStringLiteral("gpt-4.1-mini"));
        QCOMPARE(ui->context->settings.openai_model, QStringLiteral("gpt-4.1-mini"));
        choose(combo("DepthCombo"), QStringLiteral("Deep — most history, best-reasoned calls"));
        QCOMPARE(savedSettings().value("thinking_depth").toString(), QStringLiteral("deep"));
        choose(combo("DepthCombo"), QStringLiteral("Quick — fastest & cheapest"));
        QCOMPARE(savedSettings().value("thinking_depth").toString(), QStringLiteral("quick"));
        // The next model call is built from the new choice.
        QCOMPARE(ui->context->getPredictor()->model(), QStringLiteral("gpt-4.1-mini"));
    }

    void themeStyleAccent_goThroughTheWindow()
    {
        open();
        QSignalSpy styles(page, &SettingsPage::styleChanged);
        QSignalSpy accents(page, &SettingsPage::accentChanged);
        QSignalSpy themes(page, &SettingsPage::themeChanged);

        choose(combo("ThemeCombo"), QStringLiteral("light"));
        QCOMPARE(themes.size(), 1);
        QCOMPARE(themes.first().first().toString(), QStringLiteral("light"));
        QCOMPARE(savedSettings().value("theme").toString(), QStringLiteral("light"));
        QVERIFY(ui->window->styleSheet().contains(lightPalette().bg));

        choose(combo("StyleCombo"), QStringLiteral("Legacy (gradients)"));
        QCOMPARE(styles.first().first().toString(), QStringLiteral("legacy"));
        QCOMPARE(savedSettings().value("ui_style").toString(), QStringLiteral("legacy"));
        QVERIFY(ui->window->styleSheet().contains(QLatin1String("qlineargradient")));

        choose(combo("AccentCombo"), QStringLiteral("orange"));
        QCOMPARE(accents.first().first().toString(), QStringLiteral("orange"));
        QCOMPARE(savedSettings().value("accent").toString(), QStringLiteral("orange"));
        QVERIFY(ui->window->styleSheet().contains(accentPalettes().value("orange").accent));
    }

    void withoutAWindow_thePageOnlyAnnounces()
    {
        // Theme, style and accent are the window's to store.
        ui->context = std::make_unique<AppContext>(RelayConfig{});
        SettingsPage alone(ui->context.get());
        QSignalSpy styles(&alone, &SettingsPage::styleChanged);
        auto *style = alone.findChild<QComboBox *>(QStringLiteral("StyleCombo"));
        style->setCurrentIndex(style->findData(QStringLiteral("legacy")));
        QCOMPARE(styles.size(), 1);
        QVERIFY(!savedSettings().contains("ui_style"));
        QCOMPARE(ui->context->settings.ui_style, QStringLiteral("standard"));

        auto *sound = alone.findChild<QCheckBox *>(QStringLiteral("SoundCheck"));
        clickBox(sound);
        QCOMPARE(savedSettings().value("sound_enabled"), QJsonValue(false));
        QVERIFY(!ui->context->sound->isEnabled());
    }

    void sound_silencesTheNextSound_andTheMuteButtonFollows()
    {
        open();
        QVERIFY(soundBox()->isChecked());
        clickBox(soundBox());
        QVERIFY(!soundBox()->isChecked());
        QCOMPARE(savedSettings().value("sound_enabled"), QJsonValue(false));
        QVERIFY(!ui->context->sound->isEnabled());
        QPushButton *mute = nullptr;
        for (QPushButton *b : ui->window->findChildren<QPushButton *>(QStringLiteral("IconButton"))) {
            if (b->toolTip() == QLatin1String("Mute sound"))
                mute = b;
        }
        QVERIFY(mute && mute->isChecked());
        ui->played->clear();
        ui->context->play(QStringLiteral("click"));
        QVERIFY(ui->played->isEmpty());

        // And the other way round: unmuted in the top bar, ticked here.
        QTest::mouseClick(mute, Qt::LeftButton);
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("about")),
                          Qt::LeftButton);
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("settings")),
                          Qt::LeftButton);
        QVERIFY(soundBox()->isChecked());

        // The choice survives a restart.
        clickBox(soundBox());
        ui->window.reset();
        ui->context.reset();
        open();
        QVERIFY(!soundBox()->isChecked());
        QVERIFY(!ui->context->sound->isEnabled());
    }

    void topBarThemeToggle_isShownWhenThePageComesBack()
    {
        open();
        QCOMPARE(combo("ThemeCombo")->currentText(), QStringLiteral("dark"));
        QPushButton *toggle = nullptr;
        for (QPushButton *b : ui->window->findChildren<QPushButton *>(QStringLiteral("IconButton"))) {
            if (b->toolTip() == QLatin1String("Toggle theme"))
                toggle = b;
        }
        QSignalSpy themes(page, &SettingsPage::themeChanged);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("about")),
                          Qt::LeftButton);
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("settings")),
                          Qt::LeftButton);
        QCOMPARE(combo("ThemeCombo")->currentText(), QStringLiteral("light"));
        QVERIFY(themes.isEmpty());
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
