#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class AppContext;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The "Send Feedback" page: a bug report, an idea, a question or praise, with
// an optional name, screenshot of the desktop and the tail of the log, sent
// to the relay only when the user presses "Send Report".
class FeedbackPage : public QWidget
{
    Q_OBJECT

public:
    explicit FeedbackPage(AppContext *context, QWidget *parent = nullptr);

    // Heading, place-holder, icon and severity row of the chosen category.
    void applyCategory();
    // Lights the chips of what the report will include.
    void refreshChips();
    QFrame *makeChip(const QString &icon, const QString &label);
    void onSendReport();
    void showPreview();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The accent setting's main colour ("#RRGGBB"), or the default accent's.
    QString currentAccent() const;

    AppContext *m_context;
    QLabel *m_headerIcon = nullptr;
    QLabel *m_heading = nullptr;
    QComboBox *m_category = nullptr;
    QWidget *m_severityRow = nullptr;
    QComboBox *m_severity = nullptr;
    QPlainTextEdit *m_message = nullptr;
    QLineEdit *m_name = nullptr;
    QCheckBox *m_screenshot = nullptr;
    QCheckBox *m_includeLog = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_send = nullptr;
    QPushButton *m_preview = nullptr;
    QMap<QString, QFrame *> m_chips;
};
