#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

// Points every per-user folder of this process at a fresh temporary folder
// (HOME and the XDG variables, plus Qt's test mode), so a test never reads or
// writes the real user's files. Restores nothing: each test process is
// short-lived. Create one per test (init) for a clean slate each time.
class TestEnv
{
public:
    // Qt's test mode moves the folders of this process only; tests that share
    // files with a child process (the command-line tool) switch it off and
    // rely on the redirected HOME and XDG folders alone.
    enum class QtTestMode { On, Off };

    explicit TestEnv(QtTestMode mode = QtTestMode::On);
    ~TestEnv();

    QString root() const { return m_dir.path(); }
    // Writes bytes to a file, creating folders; returns the path.
    static QString writeFile(const QString &path, const QByteArray &bytes);
    static QByteArray readFile(const QString &path);

private:
    QTemporaryDir m_dir;
    QList<QPair<QByteArray, QByteArray>> m_saved;
};
