#pragma once

#include "QuietEspn.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/common/SoundManager.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"
#include "ui/shell/Toast.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

// Every toast the window shows, with its kind, also after it has faded.
class ToastRecorder : public QObject
{
public:
    struct Entry
    {
        QString message;
        QString kind;
    };

    explicit ToastRecorder(QWidget *window) { window->installEventFilter(this); }

    QList<Entry> entries;

    QStringList messages() const
    {
        QStringList list;
        for (const Entry &e : entries)
            list.append(e.message);
        return list;
    }
    QString lastMessage() const { return entries.isEmpty() ? QString() : entries.last().message; }
    QString lastKind() const { return entries.isEmpty() ? QString() : entries.last().kind; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished) {
            auto *toast = qobject_cast<Toast *>(static_cast<QChildEvent *>(event)->child());
            if (toast && !m_seen.contains(toast)) {
                m_seen.insert(toast);
                QString kind = QStringLiteral("info");
                for (const char *k : {"success", "error"}) {
                    if (toast->styleSheet().contains(Toast::colorFor(QLatin1String(k))))
                        kind = QLatin1String(k);
                }
                entries.append({toast->message(), kind});
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QSet<QObject *> m_seen;
};

// A whole window on temporary user folders, with ESPN and the model service
// replaced by one stub server on 127.0.0.1.
class UiHarness
{
public:
    explicit UiHarness(bool withApiKey = true)
        : env(std::make_unique<TestEnv>())
        , server(std::make_unique<StubServer>())
    {
        const QByteArray base = server->baseUrl().toUtf8();
        qputenv("TOLVO_ESPN_HOST", base);
        qputenv("TOLVO_ESPN_SEARCH_HOST", base);
        qputenv("TOLVO_OPENAI_BASE", base);
        if (withApiKey)
            qputenv("OPENAI_API_KEY", "sk-test");
        else
            qunsetenv("OPENAI_API_KEY");
        useQuietEspn(*server);
    }

    ~UiHarness()
    {
        toasts.reset();
        played.reset();
        window.reset();
        context.reset();
        server.reset();
        env.reset();
    }

    // Builds the context and the window and shows the page of `key`.
    void open(const QString &key)
    {
        context = std::make_unique<AppContext>(RelayConfig{});
        window = std::make_unique<MainWindow>(context.get());
        played = std::make_unique<QSignalSpy>(context->sound.get(), &SoundManager::played);
        toasts = std::make_unique<ToastRecorder>(window.get());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::mouseClick(window->findChild<Sidebar *>()->buttonFor(key), Qt::LeftButton);
        played->clear();
    }

    template <typename Page> Page *page(const QString &key) const
    {
        return qobject_cast<Page *>(window->page(key));
    }

    QStringList playedNames() const
    {
        QStringList names;
        for (const QList<QVariant> &call : *played)
            names.append(call.first().toString());
        return names;
    }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> server;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> played;
    std::unique_ptr<ToastRecorder> toasts;
};

// Clicks `button` of the next message box as soon as it is shown; the box is
// modal, so the answer has to come from a timer. Returns where the box's text
// is written.
inline std::shared_ptr<QString> answerMessageBox(QMessageBox::StandardButton button)
{
    auto seen = std::make_shared<QString>();
    auto *poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, seen]() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *seen = box->windowTitle() + QLatin1Char('|') + box->text();
        poll->stop();
        poll->deleteLater();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
    poll->start();
    // Gives up when no box comes, so that a test expecting none ends cleanly.
    QTimer::singleShot(5000, poll, &QObject::deleteLater);
    return seen;
}

// Any push button under `root` showing exactly `text`.
inline QPushButton *buttonWithText(QWidget *root, const QString &text)
{
    for (QPushButton *button : root->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}
