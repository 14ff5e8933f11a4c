#pragma once

#include <QMainWindow>
#include <QMap>
#include <QString>

class AppContext;
class QLabel;
class QPushButton;
class QStackedWidget;
class Sidebar;
class TitleBar;
class ToastManager;

// The program's only top-level window, frameless with its own title bar: the
// sidebar on the left, the top bar with the page title and the mute and
// theme buttons above the page stack, a status bar with the size grip, and
// the toasts in the bottom-right corner.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppContext *context, QWidget *parent = nullptr);

    // The top bar's title for a page key ("Tolvo" for keys without one).
    static QString pageTitle(const QString &key);

    // The page of a navigation key, built the first time it is asked for;
    // null for an unknown key.
    QWidget *page(const QString &key);
    QWidget *currentPage() const;
    ToastManager *toastManager() const { return m_toasts; }

    // The update server checked at start-up and by the update page; the
    // build's own unless changed (tests point it at a stub).
    void setUpdateBase(const QString &base);

public slots:
    void onNavigate(const QString &key);
    void applyTheme(const QString &theme);
    void applyAccent(const QString &accent);
    void applyStyle(const QString &style);
    void setSoundEnabled(bool on);
    // A toast for 3.4 s and the same text in the status bar for 3 s.
    void showToast(const QString &message, const QString &kind);
    // Offers a newer version, if the update server has one; silent otherwise.
    void checkForUpdateOnStartup();

protected:
    bool event(QEvent *event) override;

private:
    QWidget *makePage(const QString &key);
    QWidget *buildTopBar();
    void applyStylesheet();
    void fadeCurrentPage();
    void updateMuteIcon();
    void updateThemeIcon();
    void onMuteClicked(bool checked);
    void offerUpdate(const QString &latest);
    // Ctrl+1 … Ctrl+0 for the pages in sidebar order, F5, Ctrl+F, Ctrl+Q.
    void installShortcuts();
    void refreshCurrentPage();
    void focusSearchField();

    QMap<QString, QWidget *> m_pages;
    AppContext *m_context;
    Sidebar *m_sidebar = nullptr;
    QStackedWidget *m_stack = nullptr;
    QLabel *m_title = nullptr;
    QPushButton *m_muteButton = nullptr;
    QPushButton *m_themeButton = nullptr;
    QLabel *m_statusLabel = nullptr;
    TitleBar *m_titleBar = nullptr;
    ToastManager *m_toasts = nullptr;
    QString m_updateBase;
    bool m_firstPainted = false;
};
