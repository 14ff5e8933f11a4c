#include "ChatPage.h"

#include "ChatBubble.h"
#include "ai/Pricing.h"
#include "app/Paths.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"
#include "ui/common/WidgetHelpers.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

const QString ChatPage::Placeholder = QStringLiteral(
    "Ask me anything about football.\n\nI don't have today's scores in here — the Live & Today tab "
    "does — but I'm happy to talk tactics, players, competitions and rules.");

namespace {

const QString UserRole = QStringLiteral("user");
const QString AssistantRole = QStringLiteral("assistant");

} // namespace

ChatPage::ChatPage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_store(chatsFilePath())
{
    setObjectName(QStringLiteral("ChatPage"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildSidebar());
    layout->addWidget(buildThread(), 1);

    reloadList();
    if (!m_store.conversations().empty())
        openConversation(m_store.conversations().front().id);
    else
        startConversation();
}

QWidget *ChatPage::buildSidebar()
{
    auto *sidebar = new QFrame(this);
    sidebar->setObjectName(QStringLiteral("ChatSidebar"));
    sidebar->setFixedWidth(210);
    // The note would otherwise paint the page colour over the sidebar.
    sidebar->setStyleSheet(QStringLiteral("QLabel#Muted { background-color: transparent; }"));
    auto *layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(12, 16, 12, 16);
    layout->setSpacing(10);

    auto *newButton = new QPushButton(QStringLiteral("  New chat"), sidebar);
    newButton->setObjectName(QStringLiteral("PrimaryButton"));
    newButton->setIcon(faIcon(QStringLiteral("plus"), Qt::white, 16));
    newButton->setCursor(Qt::PointingHandCursor);
    connect(newButton, &QPushButton::clicked, this, [this]() {
        m_context->play(QStringLiteral("click"));
        newChat();
    });
    layout->addWidget(newButton);

    auto *saved = new QLabel(QStringLiteral("SAVED CHATS"), sidebar);
    saved->setObjectName(QStringLiteral("LeagueBadge"));
    layout->addWidget(saved, 0, Qt::AlignLeft);

    m_list = new QListWidget(sidebar);
    m_list->setObjectName(QStringLiteral("ChatList"));
    m_list->setAccessibleName(QStringLiteral("Saved conversations"));
    m_list->setCursor(Qt::PointingHandCursor);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    connect(m_list, &QListWidget::currentItemChanged, this, &ChatPage::onPick);
    layout->addWidget(m_list, 1);

    m_deleteButton = new QPushButton(QStringLiteral("  Delete chat"), sidebar);
    m_deleteButton->setIcon(faIcon(QStringLiteral("trash"), QColor(ICON_MUTED), 16));
    m_deleteButton->setCursor(Qt::PointingHandCursor);
    connect(m_deleteButton, &QPushButton::clicked, this, &ChatPage::deleteCurrent);
    layout->addWidget(m_deleteButton);

    m_memoryNote = new QLabel(sidebar);
    m_memoryNote->setObjectName(QStringLiteral("Muted"));
    m_memoryNote->setProperty("role", QStringLiteral("MemoryNote"));
    m_memoryNote->setWordWrap(true);
    m_memoryNote->setStyleSheet(QStringLiteral("font-size: 10px;"));
    layout->addWidget(m_memoryNote);
    updateMemoryNote();
    return sidebar;
}

QWidget *ChatPage::buildThread()
{
    auto *thread = new QWidget(this);
    auto *layout = new QVBoxLayout(thread);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);

    auto *header = new QVBoxLayout;
    header->setSpacing(2);
    auto *title = new QLabel(QStringLiteral("Ask AI"), thread);
    title->setObjectName(QStringLiteral("SectionTitle"));
    header->addWidget(title);
    auto *subtitle =
        new QLabel(QStringLiteral("Ask anything about football — tactics, players, rules, history"), thread);
    subtitle->setObjectName(QStringLiteral("Muted"));
    header->addWidget(subtitle);
    layout->addLayout(header);

    m_scroll = new QScrollArea(thread);
    m_scroll->setAccessibleName(QStringLiteral("Conversation"));
    m_scroll->setObjectName(QStringLiteral("ChatScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(m_scroll);
    content->setObjectName(QStringLiteral("ChatThread"));
    m_thread = new QVBoxLayout(content);
    m_thread->setContentsMargins(4, 4, 4, 4);
    m_thread->setSpacing(10);
    m_thread->addStretch(1);
    m_scroll->setWidget(content);
    layout->addWidget(m_scroll, 1);

    auto *inputRow = new QHBoxLayout;
    inputRow->setSpacing(8);
    m_input = new QLineEdit(thread);
    m_input->setPlaceholderText(QStringLiteral("Ask about football…"));
    m_input->setAccessibleName(QStringLiteral("Question"));
    connect(m_input, &QLineEdit::returnPressed, this, &ChatPage::send);
    inputRow->addWidget(m_input, 1);
    m_sendButton = new QPushButton(QStringLiteral("  Send"), thread);
    m_sendButton->setObjectName(QStringLiteral("PrimaryButton"));
    m_sendButton->setIcon(faIcon(QStringLiteral("paper-plane"), Qt::white, 16));
    m_sendButton->setCursor(Qt::PointingHandCursor);
    connect(m_sendButton, &QPushButton::clicked, this, &ChatPage::send);
    inputRow->addWidget(m_sendButton);
    layout->addLayout(inputRow);
    return thread;
}

void ChatPage::updateMemoryNote()
{
    const int turns = m_context->settings.chat_memory_turns;
    m_memoryNote->setText(
        QStringLiteral("Sends the last %1 exchange%2 back as context. Older messages stay saved "
                       "here but aren't re-sent.")
            .arg(turns)
            .arg(turns == 1 ? QString() : QStringLiteral("s")));
}

void ChatPage::reloadList()
{
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    for (const Conversation &conversation : m_store.conversations()) {
        auto *item = new QListWidgetItem(conversation.title, m_list);
        item->setData(Qt::UserRole, conversation.id);
        item->setToolTip(plainToolTip(conversation.title));
    }
}

void ChatPage::selectInList(const QString &id)
{
    const QSignalBlocker blocker(m_list);
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->data(Qt::UserRole).toString() == id) {
            m_list->setCurrentRow(row);
            return;
        }
    }
}

void ChatPage::onPick()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    const QString id = item->data(Qt::UserRole).toString();
    if (id == m_currentId)
        return;
    m_context->play(QStringLiteral("click"));
    openConversation(id);
}

void ChatPage::openConversation(const QString &id)
{
    m_currentId = id;
    // A reply still on its way belongs to what was shown before.
    ++m_request;
    m_pending = nullptr;
    setBusy(false);
    selectInList(id);
    updateMemoryNote();
    render();
}

void ChatPage::startConversation()
{
    const QString id = m_store.newConversation().id;
    m_store.save();
    reloadList();
    // Through openConversation, so that a reply pending for the conversation
    // shown before is dropped and the input is usable again.
    openConversation(id);
}

void ChatPage::newChat()
{
    const Conversation *current = m_store.get(m_currentId);
    if (current && current->messages.empty()) {
        render();
        return;
    }
    startConversation();
}

void ChatPage::deleteCurrent()
{
    if (m_currentId.isEmpty())
        return;
    m_context->play(QStringLiteral("delete"));
    ++m_request;
    m_store.remove(m_currentId);
    reloadList();
    if (!m_store.conversations().empty()) {
        openConversation(m_store.conversations().front().id);
    } else {
        m_currentId.clear();
        startConversation();
    }
    m_context->toast(QStringLiteral("Chat deleted"), QStringLiteral("info"));
}

void ChatPage::clearThread()
{
    while (m_thread->count() > 1) {
        QLayoutItem *item = m_thread->takeAt(0);
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}

void ChatPage::render()
{
    clearThread();
    const Conversation *conversation = m_store.get(m_currentId);
    if (conversation && !conversation->messages.empty()) {
        for (const ChatMessage &message : conversation->messages)
            addBubble(message.role, message.content);
    } else {
        auto *placeholder = new QLabel(Placeholder, m_scroll->widget());
        placeholder->setObjectName(QStringLiteral("Muted"));
        placeholder->setProperty("role", QStringLiteral("ChatPlaceholder"));
        placeholder->setAlignment(Qt::AlignCenter);
        placeholder->setWordWrap(true);
        m_thread->insertWidget(0, placeholder);
    }
    scrollToEnd();
}

ChatBubble *ChatPage::addBubble(const QString &role, const QString &text)
{
    auto *row = new QWidget(m_scroll->widget());
    row->setObjectName(QStringLiteral("BubbleRow"));
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    auto *bubble = new ChatBubble(role, text, row);
    if (role == UserRole) {
        rowLayout->addStretch(1);
        rowLayout->addWidget(bubble);
    } else {
        rowLayout->addWidget(bubble);
        rowLayout->addStretch(1);
    }
    m_thread->insertWidget(m_thread->count() - 1, row);
    return bubble;
}

void ChatPage::scrollToEnd()
{
    // After the new bubbles are laid out, which happens on the next turn.
    QTimer::singleShot(0, this, [this]() {
        m_scroll->verticalScrollBar()->setValue(m_scroll->verticalScrollBar()->maximum());
    });
}

void ChatPage::setBusy(bool on)
{
    m_busy = on;
    m_sendButton->setEnabled(!on);
    m_input->setEnabled(!on);
    m_sendButton->setText(on ? QStringLiteral("  Thinking…") : QStringLiteral("  Send"));
    if (!on && isVisible())
        m_input->setFocus();
}

void ChatPage::send()
{
    if (m_busy)
        return;
    Conversation *conversation = m_store.get(m_currentId);
    if (!conversation)
        return;
    const QString text = m_input->text().trimmed();
    if (text.isEmpty())
        return;
    if (m_context->settings.openai_api_key.isEmpty() && m_context->settings.openai_base_url.isEmpty()) {
        m_context->toast(QStringLiteral("Add an OpenAI API key in Settings first."), QStringLiteral("error"));
        m_context->play(QStringLiteral("error"));
        return;
    }

    m_context->play(QStringLiteral("send"));
    m_input->clear();
    // The memory is what came before this question; the question itself goes
    // separately.
    const ChatHistory history = conversation->memory(m_context->settings.chat_memory_turns);
    const bool first = conversation->messages.empty();
    conversation->add(UserRole, text);
    if (first)
        render();
    else
        addBubble(UserRole, text);
    m_pending = addBubble(AssistantRole, QStringLiteral("Thinking…"));
    scrollToEnd();
    setBusy(true);

    const int request = ++m_request;
    const QString conversationId = m_currentId;
    // The task builds its client from the settings as they are now.
    const QString model = m_context->settings.openai_model;
    QPointer<ChatPage> self(this);
    AppContext *context = m_context;
    context->runAsync<std::pair<QString, double>>(
        [context, history, text]() { return context->getPredictor()->chat(history, text); },
        [self, model, request, conversationId](const std::pair<QString, double> &reply) {
            if (self)
                self->onReply(reply, model, request, conversationId);
        },
        [self, request, conversationId](const QString &message) {
            if (self)
                self->onError(message, request, conversationId);
        });
}

void ChatPage::onReply(const std::pair<QString, double> &reply, const QString &model, int request,
                       const QString &conversationId)
{
    if (request != m_request)
        return;
    setBusy(false);
    Conversation *conversation = m_store.get(conversationId);
    if (!conversation)
        return;
    conversation->add(AssistantRole, reply.first);
    m_store.touch(conversationId);
    if (m_pending) {
        m_pending->setText(reply.first);
        m_pending->setMeta(QStringLiteral("%1  ·  %2").arg(model, costText(model, reply.second)));
    }
    m_pending = nullptr;
    reloadList();
    selectInList(conversationId);
    scrollToEnd();
    m_context->play(QStringLiteral("receive"));
}

void ChatPage::onError(const QString &message, int request, const QString &conversationId)
{
    if (request != m_request)
        return;
    setBusy(false);
    if (m_pending)
        m_pending->setText(QStringLiteral("Couldn't get a reply — ") + message);
    m_pending = nullptr;
    // The unanswered question is taken back; it stays on screen until the
    // thread is drawn again.
    Conversation *conversation = m_store.get(conversationId);
    if (conversation && !conversation->messages.empty() && conversation->messages.back().role == UserRole) {
        conversation->messages.pop_back();
        // Nor does it keep naming the conversation it was taken out of.
        if (conversation->messages.empty())
            conversation->title = Conversation::defaultTitle();
    }
    m_context->play(QStringLiteral("error"));
}
