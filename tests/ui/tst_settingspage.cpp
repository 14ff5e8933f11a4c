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

    void choices_areSavedAtOnce_andApplied_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("inSheet");
        QTest::newRow("model") << u"ModelCombo"_s << u"gpt-4.1-mini"_s << u"openai_model"_s
                               << u"gpt-4.1-mini"_s << u""_s;
        QTest::newRow("deep") << u"DepthCombo"_s << u"Deep — most history, best-reasoned calls"_s
                              << u"thinking_depth"_s << u"deep"_s << u""_s;
        QTest::newRow("theme") << u"ThemeCombo"_s << u"light"_s << u"theme"_s << u"light"_s
                               << lightPalette().bg;
        QTest::newRow("style") << u"StyleCombo"_s << u"Legacy (gradients)"_s << u"ui_style"_s << u"legacy"_s
                               << u"qlineargradient"_s;
        QTest::newRow("accent") << u"AccentCombo"_s << u"orange"_s << u"accent"_s << u"orange"_s
                                << accentPalettes().value(u"orange"_s).accent;
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
