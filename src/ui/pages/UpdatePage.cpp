#include "UpdatePage.h"

#include "app/Constants.h"
#include "services/Updater.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

UpdatePage::UpdatePage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_updateBase(updateBaseUrl())
    , m_installerAvailable(canRunInstaller())
{
    setObjectName(QStringLiteral("UpdatePage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(10);

    auto *title = new QLabel(QStringLiteral("Update"), this);
    title->setObjectName(QStringLiteral("SectionTitle"));
    layout->addWidget(title);

    m_versionLabel = new QLabel(QStringLiteral("You're running version %1.").arg(APP_VERSION), this);
    m_versionLabel->setObjectName(QStringLiteral("Muted"));
    layout->addWidget(m_versionLabel);
    layout->addSpacing(6);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    m_checkButton = new QPushButton(QStringLiteral("  Check for updates"), this);
    m_checkButton->setObjectName(QStringLiteral("PrimaryButton"));
    m_checkButton->setIcon(faIcon(QStringLiteral("rotate"), Qt::white, 16));
    m_checkButton->setIconSize(QSize(16, 16));
    m_checkButton->setCursor(Qt::PointingHandCursor);
    connect(m_checkButton, &QPushButton::clicked, this, &UpdatePage::checkNow);
    buttons->addWidget(m_checkButton);

    m_updateButton = new QPushButton(QStringLiteral("  Update now"), this);
    m_updateButton->setObjectName(QStringLiteral("IconButton"));
    m_updateButton->setIcon(faIcon(QStringLiteral("cloud-arrow-down"), QColor(ICON_MUTED), 16));
    m_updateButton->setIconSize(QSize(16, 16));
    m_updateButton->setCursor(Qt::PointingHandCursor);
    m_updateButton->hide();
    connect(m_updateButton, &QPushButton::clicked, this, &UpdatePage::startUpdate);
    buttons->addWidget(m_updateButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Muted"));
    m_status->setAccessibleName(QStringLiteral("Update status"));
    // Error texts come from the network layer: show them as they are.
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    layout->addSpacing(10);

    auto *historyTitle = new QLabel(QStringLiteral("Update history"), this);
    historyTitle->setStyleSheet(QStringLiteral("font-weight: 600;"));
    layout->addWidget(historyTitle);

    m_log = new QPlainTextEdit(this);
    m_log->setObjectName(QStringLiteral("Card"));
    m_log->setAccessibleName(QStringLiteral("Update history"));
    m_log->setReadOnly(true);
    layout->addWidget(m_log, 1);

    reloadLog();
}

QString UpdatePage::updateLogPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/update_log.txt");
}

void UpdatePage::checkNow()
{
    m_checkButton->setEnabled(false);
    m_updateButton->hide();
    m_status->setText(QStringLiteral("Checking…"));
    const QString base = m_updateBase;
    QPointer<UpdatePage> self(this);
    m_context->runAsync<QString>([base]() { return fetchLatestVersion(base); },
                                 [self](const QString &latest) {
                                     if (self)
                                         self->showVersion(latest);
                                 },
                                 [self](const QString &message) {
                                     if (self)
                                         self->showCheckError(message);
                                 });
}

void UpdatePage::showVersion(const QString &latest)
{
    m_checkButton->setEnabled(true);
    if (latest == APP_VERSION) {
        m_status->setText(QStringLiteral("You're up to date."));
        return;
    }
    // Only a strictly newer version is offered: an older or unreadable one
    // never replaces what runs.
    if (!isNewerVersion(latest, APP_VERSION)) {
        m_status->setText(QStringLiteral("You're on the latest version."));
        return;
    }
    m_status->setText(QStringLiteral("Version %1 is available.").arg(latest));
    m_updateButton->show();
}

void UpdatePage::showCheckError(const QString &message)
{
    m_checkButton->setEnabled(true);
    m_status->setText(message);
}

QString UpdatePage::openDownloadPage(const QString &base)
{
    if (QDesktopServices::openUrl(QUrl(base)))
        return QStringLiteral("Opened the download page in your browser.");
    return QStringLiteral("Couldn't open your web browser. The download page is %1").arg(base);
}

void UpdatePage::startUpdate()
{
    m_context->play(QStringLiteral("click"));
    if (!m_installerAvailable) {
        // Nothing to install here: the user downloads the new version
        // themselves, and Tolvo keeps running.
        m_status->setText(openDownloadPage(m_updateBase));
        return;
    }

    m_checkButton->setEnabled(false);
    m_updateButton->setEnabled(false);
    m_status->setText(QStringLiteral("Downloading update… Tolvo will quit and a small installer window will "
                                     "open — click Update Now there to finish."));
    const QString base = m_updateBase;
    QPointer<UpdatePage> self(this);
    m_context->runBackground([base]() { applyUpdateAndRestart(base); },
                             // The installer replaces the program's files and restarts it.
                             []() { QCoreApplication::quit(); },
                             [self](const QString &message) {
                                 if (!self)
                                     return;
                                 self->m_checkButton->setEnabled(true);
                                 self->m_updateButton->setEnabled(true);
                                 self->m_status->setText(message);
                             });
}

void UpdatePage::reloadLog()
{
    QFile file(updateLogPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_log->setPlainText(QStringLiteral("No updates applied yet."));
        return;
    }
    m_log->setPlainText(QString::fromUtf8(file.readAll()));
    // The newest entries are at the end.
    m_log->moveCursor(QTextCursor::End);
    m_log->ensureCursorVisible();
}

void UpdatePage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The view has its real size only now; scrolling before had no effect.
    m_log->ensureCursorVisible();
}
