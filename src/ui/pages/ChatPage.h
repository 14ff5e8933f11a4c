#pragma once

#include "model/ChatStore.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <utility>

class AppContext;
class ChatBubble;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

// "Ask AI": a chat about football with the model. Saved conversations are
// listed on the left; the one shown is a thread of bubbles with an input line
// below. Each question goes to the model on a worker with the last few
// exchanges as memory; a reply for a conversation no longer shown is dropped.
class ChatPage : public QWidget
{
    Q_OBJECT

public:
    explicit ChatPage(AppContext *context, QWidget *parent = nullptr);

    void send();
    void newChat();
    void deleteCurrent();

    static const QString Placeholder;

private:
    QWidget *buildSidebar();
    QWidget *buildThread();
    void reloadList();
    void selectInList(const QString &id);
    void openConversation(const QString &id);
    // Makes a new empty conversation current and saves it.
    void startConversation();
    void onPick();
    void render();
    void clearThread();
    ChatBubble *addBubble(const QString &role, const QString &text);
    void scrollToEnd();
    void setBusy(bool on);
    void updateMemoryNote();
    void onReply(const std::pair<QString, double> &reply, const QString &model, int request,
                 const QString &conversationId);
    void onError(const QString &message, int request, const QString &conversationId);

    AppContext *m_context;
    ChatStore m_store;
    QString m_currentId;
    QPointer<ChatBubble> m_pending;
    bool m_busy = false;
    int m_request = 0;

    QListWidget *m_list = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QLabel *m_memoryNote = nullptr;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_thread = nullptr;
    QLineEdit *m_input = nullptr;
    QPushButton *m_sendButton = nullptr;
};
