#include "UpdatePrompt.h"

#include "TitleBar.h"
#include "app/Constants.h"
#include "services/Updater.h"
#include "ui/common/Icons.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString PromptStyle =
    QStringLiteral("QDialog { background-color: #14171C; }"
                   "QLabel { color: #E8EAED; }"
                   "QLabel#Muted { color: #9AA3B2; font-size: 12px; }"
                   "QPushButton { border: none; border-radius: 8px; padding: 10px 16px; font-weight: 600; }"
                   "QPushButton#Primary { background-color: #1CB05A; color: white; }"
                   "QPushButton#Primary:hover { background-color: #22C766; }"
                   "QPushButton#Secondary { background-color: #232833; color: #E8EAED; }"
                   "QPushButton#Secondary:hover { background-color: #2C323E; }");

// The dialog is a child of the main window and would otherwise pick up the
// application sheet's light colours for its title bar and label backgrounds.
// The frame gives the borderless window an edge against a dark page.
const QString PromptIsolation =
    QStringLiteral("QFrame#PromptFrame { background-color: #14171C; border: 1px solid #2C323E; }"
                   "QWidget#PromptContent, QLabel { background-color: transparent; }"
                   "QWidget#TitleBar { background-color: #101318; border-bottom: 1px solid #2C323E; }");

QString promptText()
{
    if (canRunInstaller())
        return QStringLiteral(
            "You're on %1. Tolvo will close and a small installer window will open — Windows will ask "
            "for permission once (Program Files needs it), then click \"Update Now\" and Finish there "
            "to relaunch on the new version. Your settings and history are untouched.");
    // No installer to run here: the download page opens instead.
    return QStringLiteral("You're on %1. The download page will open in your browser and Tolvo keeps "
                          "running. Your settings and history are untouched.");
}

} // namespace

UpdatePrompt::UpdatePrompt(QWidget *parent, const QString &version)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("UpdatePrompt"));
    setWindowTitle(QStringLiteral("Update available"));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setModal(true);
    setStyleSheet(PromptStyle + PromptIsolation);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("PromptFrame"));
    root->addWidget(frame);
    auto *outer = new QVBoxLayout(frame);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *titleBar = new TitleBar(this, QColor(QStringLiteral("#9AA3B2")), frame);
    // A small fixed dialog: only closing makes sense.
    for (QPushButton *button : titleBar->findChildren<QPushButton *>(QStringLiteral("TitleBarButton")))
        button->hide();
    outer->addWidget(titleBar);

    auto *content = new QWidget(frame);
    content->setObjectName(QStringLiteral("PromptContent"));
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(24, 24, 24, 20);
    layout->setSpacing(6);
    outer->addWidget(content);

    if (const QPixmap logo = appLogo(48, devicePixelRatioF()); !logo.isNull()) {
        auto *icon = new QLabel(content);
        icon->setObjectName(QStringLiteral("PromptIcon"));
        icon->setPixmap(logo);
        icon->setAlignment(Qt::AlignCenter);
        layout->addWidget(icon);
        layout->addSpacing(8);
    }

    auto *heading = new QLabel(QStringLiteral("Tolvo %1 is ready").arg(version), content);
    heading->setObjectName(QStringLiteral("PromptHeading"));
    // The version comes from the update server.
    heading->setTextFormat(Qt::PlainText);
    heading->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: 700;"));
    heading->setAlignment(Qt::AlignCenter);
    heading->setWordWrap(true);
    layout->addWidget(heading);

    auto *text = new QLabel(promptText().arg(APP_VERSION), content);
    text->setObjectName(QStringLiteral("Muted"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    layout->addSpacing(14);

    // "Not now" comes first and takes the focus: the prompt appears by itself
    // while the user may be typing, and a stray Enter must not quit Tolvo.
    auto *later = new QPushButton(QStringLiteral("Not now"), content);
    later->setObjectName(QStringLiteral("Secondary"));
    later->setCursor(Qt::PointingHandCursor);
    connect(later, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(later);

    auto *update = new QPushButton(QStringLiteral("Update now"), content);
    update->setObjectName(QStringLiteral("Primary"));
    update->setCursor(Qt::PointingHandCursor);
    connect(update, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(update);

    // Fixed width, and the height the wrapped text needs at that width.
    constexpr int Width = 360;
    ensurePolished(); // the style sheet's frame counts towards the height
    setFixedWidth(Width);
    setFixedHeight(root->hasHeightForWidth() ? root->totalHeightForWidth(Width) : sizeHint().height());
}

bool UpdatePrompt::ask(QWidget *parent, const QString &version)
{
    UpdatePrompt prompt(parent, version);
    return prompt.exec() == QDialog::Accepted;
}
