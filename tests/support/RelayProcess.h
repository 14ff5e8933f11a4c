#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real relay program (tolvo-relay) as a child process, listening on a
// free port of 127.0.0.1 with its own token file and reports folder.
class RelayProcess
{
public:
    RelayProcess(const QString &binary, const QByteArray &token, const QStringList &extraArgs = {},
                 const QByteArray &upstreamKey = "sk-upstream");
    ~RelayProcess();
    RelayProcess(const RelayProcess &) = delete;
    RelayProcess &operator=(const RelayProcess &) = delete;

    // What the relay printed so far (stdout and stderr).
    QByteArray output();
    // The folders of the reports stored so far.
    QStringList storedReports() const;

    QString baseUrl; // empty when the relay did not come up
    QString reportsDir;

private:
    QTemporaryDir m_dir;
    QString m_tokenFile;
    QProcess m_process;
    QByteArray m_output;
};
