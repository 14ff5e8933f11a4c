#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class WrappedLabel;

// One message of the chat thread: the user's on the right in the accent
// colour, the model's on the left, with an optional small line below (model
// and cost). The text is always shown as plain text, exactly as written.
class ChatBubble : public QFrame
{
    Q_OBJECT

public:
    ChatBubble(const QString &role, const QString &text, QWidget *parent = nullptr);

    void setText(const QString &text);
    void setMeta(const QString &text);

    QString text() const;
    // Empty until setMeta is called.
    QString meta() const;

    static constexpr int MaxWidth = 560;

    // As wide as the longest line needs, up to MaxWidth; narrower rows make
    // the text wrap.
    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    void styleMeta();

    WrappedLabel *m_text = nullptr;
    QLabel *m_meta = nullptr;
};
