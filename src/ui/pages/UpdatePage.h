#pragma once

#include <QString>
#include <QWidget>

class AppContext;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The "Update" page: checks the update server by hand, starts the update and
// shows the installer's own log ("update_log.txt" beside the program).
class UpdatePage : public QWidget
{
    Q_OBJECT

public:
    explicit UpdatePage(AppContext *context, QWidget *parent = nullptr);

    void checkNow();
    void startUpdate();
    void reloadLog();

    // The build's update server unless changed (tests point it at a stub).
    QString updateBase() const { return m_updateBase; }
    void setUpdateBase(const QString &base) { m_updateBase = base; }
    // Whether "Update now" runs the installer (Windows) or, where there is
    // none to run, opens the download page. Defaults to canRunInstaller().
    void setInstallerAvailable(bool available) { m_installerAvailable = available; }

    // Where the installer writes its log: the program's own folder.
    static QString updateLogPath();
    // Opens the update server's address in the browser; returns the text to
    // show the user.
    static QString openDownloadPage(const QString &base);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showVersion(const QString &latest);
    void showCheckError(const QString &message);

    AppContext *m_context;
    QLabel *m_versionLabel = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_checkButton = nullptr;
    QPushButton *m_updateButton = nullptr;
    QPlainTextEdit *m_log = nullptr;
    QString m_updateBase;
    bool m_installerAvailable;
};
