#pragma once

#include <QString>
#include <QWidget>

class AppContext;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

// Model and thinking depth, theme, style and accent, and interface sounds.
// Model, depth and sound are saved here at once; theme, style and accent are
// announced to the main window, which applies and saves them.
class SettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsPage(AppContext *context, QWidget *parent = nullptr);

    static QLabel *rowLabel(const QString &text, QWidget *parent);

signals:
    void themeChanged(const QString &theme);
    void soundToggled(bool on);
    void accentChanged(const QString &accent);
    void styleChanged(const QString &style);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QFrame *card(const QString &title, QVBoxLayout *pageLayout);
    QFormLayout *formIn(QFrame *card);
    void onSoundToggled(bool on);
    void commitModel();
    // Adds the ids the service lists to the model choices.
    void refreshModels();
    // The top bar edits theme and sound too; the page picks their current
    // values up whenever it is shown.
    void syncFromSettings();

    AppContext *m_context;
    QWidget *m_content = nullptr;
    QComboBox *m_model = nullptr;
    QComboBox *m_depth = nullptr;
    QComboBox *m_theme = nullptr;
    QComboBox *m_style = nullptr;
    QComboBox *m_accent = nullptr;
    QCheckBox *m_sound = nullptr;
    QPushButton *m_refreshModels = nullptr;
    QLabel *m_modelsState = nullptr;
    QComboBox *m_goalNotifications = nullptr;
};
