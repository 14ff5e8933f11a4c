#pragma once

#include <QWidget>

#include <functional>

class AppContext;
class QLabel;
class QLineEdit;
class QPushButton;

// The rows of the "AI service" card: the API key (kept in the system
// keychain, or in settings.json where there is none), the service address
// and a connection test with the key, address and model in effect.
class ServiceCard : public QWidget
{
    Q_OBJECT

public:
    // `rowLabel` makes the row labels so that they line up with the page's
    // other cards.
    ServiceCard(AppContext *context, QLabel *(*rowLabel)(const QString &, QWidget *), QWidget *parent);

private:
    void showKeyState();
    void saveKey(const std::function<void()> &then = {});
    void removeKey();
    void commitAddress();
    void testConnection();
    QPushButton *button(const QString &text, const char *style, const QString &icon);

    AppContext *m_context;
    QLineEdit *m_key = nullptr;
    QPushButton *m_reveal = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_remove = nullptr;
    QLabel *m_keyState = nullptr;
    QLineEdit *m_address = nullptr;
    QLabel *m_addressProblem = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_testResult = nullptr;
    bool m_keyBusy = false;
};
