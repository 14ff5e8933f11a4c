#include "MainWindow.h"

#include "Sidebar.h"
#include "SizeGrip.h"
#include "TitleBar.h"
#include "ToastManager.h"
#include "UpdatePrompt.h"
#include "app/Constants.h"
#include "services/Updater.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/common/SoundManager.h"
#include "ui/common/Theme.h"
#include "ui/pages/AboutPage.h"
#include "ui/pages/ChatPage.h"
#include "ui/pages/FavoritesPage.h"
#include "ui/pages/FeedbackPage.h"
#include "ui/pages/HistoryPage.h"
#include "ui/pages/LeaguesPage.h"
#include "ui/pages/LivePage.h"
#include "ui/pages/SearchPage.h"
#include "ui/pages/SettingsPage.h"
#include "ui/pages/UpdatePage.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QMap<QString, QString> &pageTitles()
{
    static const QMap<QString, QString> titles = {
        {QStringLiteral("leagues"), QStringLiteral("Leagues & Fixtures")},
        {QStringLiteral("live"), QStringLiteral("Live & Today")},
        {QStringLiteral("search"), QStringLiteral("Team Search")},
        {QStringLiteral("favorites"), QStringLiteral("Favorites")},
        {QStringLiteral("history"), QStringLiteral("Prediction History")},
        {QStringLiteral("settings"), QStringLiteral("Settings")},
        {QStringLiteral("about"), QStringLiteral("About Tolvo")},
        {QStringLiteral("update"), QStringLiteral("Update")},
    };
    return titles;
}

const QString DefaultStartPage = QStringLiteral("leagues");

} // namespace

MainWindow::MainWindow(AppContext *context, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_updateBase(updateBaseUrl())
{
    setWindowTitle(QStringLiteral("Tolvo — AI Football Predictions"));
    resize(1180, 760);
    setMinimumSize(920, 600);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    // Room for the one-pixel frame the style sheet draws around the window.
    setContentsMargins(1, 1, 1, 1);
    // The start page asks for its fixtures as it is shown; the request waits
    // until the first frame is on screen.
    m_context->holdTasksUntilFirstFrame();

    const Settings &settings = m_context->settings;
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralWidget"));
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    m_titleBar = new TitleBar(this, QColor(paletteFor(settings.theme).textDim), central);
    centralLayout->addWidget(m_titleBar);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_sidebar = new Sidebar(central);
    row->addWidget(m_sidebar);
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildTopBar());
    m_stack = new QStackedWidget(central);
    m_stack->setObjectName(QStringLiteral("PageStack"));
    column->addWidget(m_stack, 1);
    row->addLayout(column, 1);
    centralLayout->addLayout(row, 1);
    setCentralWidget(central);

    connect(m_sidebar, &Sidebar::navigate, this, &MainWindow::onNavigate);

    QStatusBar *status = statusBar();
    status->setSizeGripEnabled(false);
    // A normal widget rather than a message: it comes back by itself after
    // each temporary message.
    m_statusLabel = new QLabel(QStringLiteral("Ready"), status);
    m_statusLabel->setObjectName(QStringLiteral("StatusReady"));
    status->addWidget(m_statusLabel, 1);
    status->addPermanentWidget(new SizeGrip(this));

    m_toasts = new ToastManager(this);
    connect(m_context, &AppContext::toastRequested, this, &MainWindow::showToast);

    // Only the page on screen is built before the first paint; the others
    // are built when first asked for (see page()).
    const bool known = std::any_of(navItems().cbegin(), navItems().cend(),
                                   [&](const NavItem &item) { return item.key == settings.start_page; });
    const QString start = known ? settings.start_page : DefaultStartPage;
    m_sidebar->setActive(start);
    m_stack->setCurrentWidget(page(start));
    m_title->setText(pageTitle(start));

    applyStylesheet();
    installShortcuts();

    QTimer::singleShot(2500, this, &MainWindow::checkForUpdateOnStartup);
}

QString MainWindow::pageTitle(const QString &key)
{
    return pageTitles().value(key, QStringLiteral("Tolvo"));
}

QWidget *MainWindow::currentPage() const
{
    return m_stack->currentWidget();
}

QWidget *MainWindow::page(const QString &key)
{
    if (QWidget *built = m_pages.value(key))
        return built;
    QWidget *made = makePage(key);
    if (!made)
        return nullptr;
    made->setProperty("pageKey", key);
    m_pages.insert(key, made);
    m_stack->addWidget(made);
    return made;
}

QWidget *MainWindow::makePage(const QString &key)
{
    if (key == QLatin1String("about"))
        return new AboutPage(m_stack);
    if (key == QLatin1String("history"))
        return new HistoryPage(m_context, m_stack);
    if (key == QLatin1String("chat"))
        return new ChatPage(m_context, m_stack);
    if (key == QLatin1String("settings")) {
        auto *settingsPage = new SettingsPage(m_context, m_stack);
        connect(settingsPage, &SettingsPage::themeChanged, this, &MainWindow::applyTheme);
        connect(settingsPage, &SettingsPage::accentChanged, this, &MainWindow::applyAccent);
        connect(settingsPage, &SettingsPage::styleChanged, this, &MainWindow::applyStyle);
        connect(settingsPage, &SettingsPage::soundToggled, this, &MainWindow::setSoundEnabled);
        return settingsPage;
    }
    if (key == QLatin1String("feedback"))
        return new FeedbackPage(m_context, m_stack);
    if (key == QLatin1String("update")) {
        auto *updatePage = new UpdatePage(m_context, m_stack);
        updatePage->setUpdateBase(m_updateBase);
        return updatePage;
    }
    if (key == QLatin1String("leagues"))
        return new LeaguesPage(m_context, m_stack);
    if (key == QLatin1String("live"))
        return new LivePage(m_context, m_stack);
    if (key == QLatin1String("search"))
        return new SearchPage(m_context, m_stack);
    if (key == QLatin1String("favorites"))
        return new FavoritesPage(m_context, m_stack);
    return nullptr;
}

bool MainWindow::event(QEvent *event)
{
    // Right after the first frame: the window icon (handing it to the window
    // system takes a while), the tasks held back, the sound player's
    // libraries, the stored API key,
    // the history database, and the live page, which refreshes today's
    // fixtures in the background and calls out goals whichever page is shown,
    // so it cannot wait until it is first visited.
    if (event->type() == QEvent::Paint && !m_firstPainted) {
        m_firstPainted = true;
        QTimer::singleShot(0, this, [this]() {
            QApplication::setWindowIcon(appIcon());
            m_context->releaseHeldTasks();
            m_context->sound->preload();
            m_context->loadStoredApiKey();
            m_context->openHistory();
            page(QStringLiteral("live"));
        });
    }
    return QMainWindow::event(event);
}

QWidget *MainWindow::buildTopBar()
{
    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("TopBar"));
    bar->setAttribute(Qt::WA_StyledBackground);
    bar->setFixedHeight(56);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(20, 0, 16, 0);
    layout->setSpacing(6);

    m_title = new QLabel(QStringLiteral("Leagues & Fixtures"), bar);
    m_title->setObjectName(QStringLiteral("PageTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setStyleSheet(QStringLiteral("font-size: 15px; font-weight: 700;"));
    layout->addWidget(m_title);
    layout->addStretch(1);

    m_muteButton = new QPushButton(bar);
    m_muteButton->setObjectName(QStringLiteral("IconButton"));
    m_muteButton->setCheckable(true);
    m_muteButton->setChecked(!m_context->settings.sound_enabled);
    m_muteButton->setToolTip(QStringLiteral("Mute sound"));
    m_muteButton->setAccessibleName(QStringLiteral("Mute sound"));
    m_muteButton->setCursor(Qt::PointingHandCursor);
    m_muteButton->setIconSize(QSize(16, 16));
    connect(m_muteButton, &QPushButton::clicked, this, &MainWindow::onMuteClicked);
    layout->addWidget(m_muteButton);

    m_themeButton = new QPushButton(bar);
    m_themeButton->setObjectName(QStringLiteral("IconButton"));
    m_themeButton->setToolTip(QStringLiteral("Toggle theme"));
    m_themeButton->setAccessibleName(QStringLiteral("Toggle theme"));
    m_themeButton->setCursor(Qt::PointingHandCursor);
    m_themeButton->setIconSize(QSize(16, 16));
    connect(m_themeButton, &QPushButton::clicked, this, [this]() {
        applyTheme(m_context->settings.theme == QLatin1String("dark") ? QStringLiteral("light")
                                                                      : QStringLiteral("dark"));
    });
    layout->addWidget(m_themeButton);

    updateMuteIcon();
    updateThemeIcon();
    return bar;
}

void MainWindow::applyStylesheet()
{
    const Settings &settings = m_context->settings;
    setStyleSheet(buildStylesheet(settings.theme, settings.accent, settings.ui_style));
}

void MainWindow::onNavigate(const QString &key)
{
    m_context->play(QStringLiteral("navigate"));
    QWidget *target = page(key);
    if (target && target != m_stack->currentWidget()) {
        m_stack->setCurrentWidget(target);
        fadeCurrentPage();
    }
    m_title->setText(pageTitle(key));
    // Pages that exist to be typed into take the keyboard at once.
    if (target && (key == QLatin1String("search") || key == QLatin1String("chat"))) {
        if (auto *field = target->findChild<QLineEdit *>())
            field->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::installShortcuts()
{
    const QList<NavItem> &items = navItems();
    for (int i = 0; i < items.size() && i < 10; ++i) {
        // Ctrl+1 is the first page, Ctrl+0 the tenth, as on the keyboard's row.
        auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + (i + 1) % 10)), this);
        const QString key = items.at(i).key;
        connect(shortcut, &QShortcut::activated, this, [this, key]() {
            if (QPushButton *button = m_sidebar->buttonFor(key))
                button->click();
        });
    }
    connect(new QShortcut(QKeySequence::Refresh, this), &QShortcut::activated, this,
            &MainWindow::refreshCurrentPage);
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this,
            &MainWindow::focusSearchField);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &QWidget::close);
}

void MainWindow::refreshCurrentPage()
{
    QWidget *page = currentPage();
    if (auto *live = qobject_cast<LivePage *>(page))
        live->refreshButton()->click();
    else if (auto *leagues = qobject_cast<LeaguesPage *>(page))
        leagues->refreshButton()->click();
    else if (auto *favorites = qobject_cast<FavoritesPage *>(page))
        favorites->refresh();
    else if (auto *history = qobject_cast<HistoryPage *>(page))
        history->refresh(true);
}

void MainWindow::focusSearchField()
{
    const QString key = currentPage()->property("pageKey").toString();
    if (key != QLatin1String("search") && key != QLatin1String("history"))
        return;
    if (auto *field = currentPage()->findChild<QLineEdit *>()) {
        field->setFocus(Qt::ShortcutFocusReason);
        field->selectAll();
    }
}

void MainWindow::fadeCurrentPage()
{
    QWidget *page = m_stack->currentWidget();
    if (!page)
        return;
    auto *effect = new QGraphicsOpacityEffect(page);
    effect->setOpacity(0.0);
    page->setGraphicsEffect(effect);

    // Parented to the page: the effect may be replaced (and deleted) by a
    // quicker second navigation before this animation ends.
    auto *animation = new QPropertyAnimation(effect, "opacity", page);
    animation->setDuration(180);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    QPointer<QGraphicsOpacityEffect> guard(effect);
    connect(animation, &QPropertyAnimation::finished, page, [page, guard]() {
        // Effects cost a full off-screen render per paint; drop it once done.
        if (guard && page->graphicsEffect() == guard)
            page->setGraphicsEffect(nullptr);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MainWindow::applyTheme(const QString &theme)
{
    m_context->settings.theme = theme;
    m_context->settings.save();
    applyStylesheet();
    m_titleBar->setIconColor(QColor(paletteFor(theme).textDim));
    updateMuteIcon();
    updateThemeIcon();
}

void MainWindow::applyAccent(const QString &accent)
{
    m_context->settings.accent = accent;
    m_context->settings.save();
    applyStylesheet();
}

void MainWindow::applyStyle(const QString &style)
{
    m_context->settings.ui_style = style;
    m_context->settings.save();
    applyStylesheet();
}

void MainWindow::onMuteClicked(bool checked)
{
    // The button shows "muted" while checked.
    setSoundEnabled(!checked);
}

void MainWindow::setSoundEnabled(bool on)
{
    m_context->settings.sound_enabled = on;
    if (m_context->sound)
        m_context->sound->setEnabled(on);
    m_context->settings.save();
    m_muteButton->setChecked(!on);
    updateMuteIcon();
    if (on)
        m_context->play(QStringLiteral("toggle"));
}

void MainWindow::updateMuteIcon()
{
    const QString icon =
        m_muteButton->isChecked() ? QStringLiteral("volume-xmark") : QStringLiteral("volume-high");
    m_muteButton->setIcon(faIcon(icon, QColor(paletteFor(m_context->settings.theme).textDim), 16));
}

void MainWindow::updateThemeIcon()
{
    const QString &theme = m_context->settings.theme;
    const QString icon = theme == QLatin1String("dark") ? QStringLiteral("moon") : QStringLiteral("sun");
    m_themeButton->setIcon(faIcon(icon, QColor(paletteFor(theme).textDim), 16));
}

void MainWindow::showToast(const QString &message, const QString &kind)
{
    m_toasts->show(message, kind, 3400);
    statusBar()->showMessage(message, 3000);
}

void MainWindow::setUpdateBase(const QString &base)
{
    m_updateBase = base;
    if (auto *updatePage = qobject_cast<UpdatePage *>(m_pages.value(QStringLiteral("update"))))
        updatePage->setUpdateBase(base);
}

void MainWindow::checkForUpdateOnStartup()
{
    const QString base = m_updateBase;
    QPointer<MainWindow> self(this);
    // A failed check says nothing: the user did not ask for it.
    m_context->runAsync<QString>([base]() { return fetchLatestVersion(base); },
                                 [self](const QString &latest) {
                                     if (self)
                                         self->offerUpdate(latest);
                                 });
}

void MainWindow::offerUpdate(const QString &latest)
{
    if (!isNewerVersion(latest, APP_VERSION) || !UpdatePrompt::ask(this, latest))
        return;
    if (!canRunInstaller()) {
        showToast(UpdatePage::openDownloadPage(m_updateBase), QStringLiteral("info"));
        return;
    }
    showToast(QStringLiteral("Updating — Tolvo will quit and a small installer window will open. Windows "
                             "will ask for permission once, then click Update Now there."),
              QStringLiteral("info"));
    const QString base = m_updateBase;
    QPointer<MainWindow> self(this);
    m_context->runBackground([base]() { applyUpdateAndRestart(base); },
                             // The installer replaces the program's files and restarts it.
                             []() { QCoreApplication::quit(); },
                             [self](const QString &message) {
                                 if (self)
                                     self->showToast(message, QStringLiteral("info"));
                             });
}
