#include "UiHarness.h"
#include "ui/common/Theme.h"
#include "ui/pages/SettingsPage.h"

#include <QCheckBox>
#include <QComboBox>

namespace {

QJsonObject savedSettings()
{
    return QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
}

const QStringList Combos = {"ModelCombo", "DepthCombo", "ThemeCombo", "StyleCombo", "AccentCombo"};

} // namespace

class TestSettingsPage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> ui;
    QWidget *page = nullptr;

    void open()
    {
        ui->open(u"settings"_s);
        page = ui->window->page(u"settings"_s);
    }
    QComboBox *combo(const QString &name) const { return page->findChild<QComboBox *>(name); }
    QCheckBox *soundBox() const { return page->findChild<QCheckBox *>(u"SoundCheck"_s); }
    // On the box itself: the row is wider than the box and its text.
    void clickSoundBox()
    {
        QTest::mouseClick(soundBox(), Qt::LeftButton, {}, QPoint(8, soundBox()->height() / 2));
    }
    QPushButton *topButton(const QString &tooltip) const { return buttonWithTip(ui->window.get(), tooltip); }
    void showAgain()
    {
        ui->navigate(u"about"_s);
        ui->navigate(u"settings"_s);
    }

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup() { ui.reset(); }

    void storedValues_areShown_unknownOnesAsTheFirstChoice_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("known")
            << QByteArray(R"({"openai_model": "gpt-4.1", "thinking_depth": "deep", "theme": "light",
                                                 "ui_style": "legacy", "accent": "teal"})")
            << QStringList{"gpt-4.1", "Deep — most history, best-reasoned calls", "light",
                           "Legacy (gradients)", "teal"};
        QTest::newRow("unknown")
            << QByteArray(R"({"openai_model": "o4-mini", "thinking_depth": "ultra", "theme": "sepia",
                                                   "ui_style": "neon", "accent": "mauve"})")
            << QStringList{"o4-mini", "Quick — fastest & cheapest", "dark", "Standard",
                           "blue"}; // any model may be typed
    }

    void storedValues_areShown_unknownOnesAsTheFirstChoice()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, shown);
        TestEnv::writeFile(settingsFilePath(), stored);
        open();
        QStringList texts;
        for (const QString &name : Combos)
            texts.append(combo(name)->currentText());
        QCOMPARE(texts, shown);
        // Showing is no choosing: nothing is saved, however often.
        showAgain();
        QCOMPARE(TestEnv::readFile(settingsFilePath()), stored);
    }

    void choices_areSavedAtOnce_andApplied_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("inSheet");
        QTest::newRow("model") << "ModelCombo"
                               << "gpt-4.1-mini"
                               << "openai_model"
                               << "gpt-4.1-mini"
                               << "";
        QTest::newRow("deep") << "DepthCombo"
                              << "Deep — most history, best-reasoned calls"
                              << "thinking_depth"
                              << "deep"
                              << "";
        QTest::newRow("theme") << "ThemeCombo"
                               << "light"
                               << "theme"
                               << "light" << lightPalette().bg;
        QTest::newRow("style") << "StyleCombo"
                               << "Legacy (gradients)"
                               << "ui_style"
                               << "legacy"
                               << "qlineargradient";
        QTest::newRow("accent") << "AccentCombo"
                                << "orange"
                                << "accent"
                                << "orange" << accentPalettes().value(u"orange"_s).accent;
    }

    void choices_areSavedAtOnce_andApplied()
    {
        QFETCH(QString, combo);
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, inSheet);
        open();
        this->combo(combo)->setCurrentIndex(this->combo(combo)->findText(text));
        QCOMPARE(savedSettings().value(key).toString(), value);
        QVERIFY(ui->window->styleSheet().contains(inSheet));
        if (key == "openai_model"_L1)
            QCOMPARE(ui->context->getPredictor()->model(), value);
    }

    void sound_andTheMuteButton_followEachOther_andSurviveARestart()
    {
        open();
        QVERIFY(soundBox()->isChecked());
        clickSoundBox();
        QCOMPARE(savedSettings().value("sound_enabled"), QJsonValue(false));
        QVERIFY(topButton(u"Mute sound"_s)->isChecked());
        ui->played->clear();
        ui->context->play(u"click"_s);
        QVERIFY(ui->played->isEmpty());

        QTest::mouseClick(topButton(u"Mute sound"_s), Qt::LeftButton);
        QTest::mouseClick(topButton(u"Toggle theme"_s), Qt::LeftButton);
        showAgain();
        QVERIFY(soundBox()->isChecked());
        QCOMPARE(combo(u"ThemeCombo"_s)->currentText(), u"light"_s);

        clickSoundBox();
        ui->stop();
        open();
        QVERIFY(!soundBox()->isChecked());
        QVERIFY(!ui->context->sound->isEnabled());
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
