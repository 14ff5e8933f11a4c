#include "RelayProcess.h"

#include "TestEnv.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QRegularExpression>

RelayProcess::RelayProcess(const QString &binary, const QByteArray &token, const QStringList &extraArgs,
                           const QByteArray &upstreamKey)
{
    m_tokenFile = m_dir.filePath(QStringLiteral("token"));
    TestEnv::writeFile(m_tokenFile, token + "\n");
    reportsDir = m_dir.filePath(QStringLiteral("reports"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVO_RELAY_UPSTREAM_KEY"), QString::fromUtf8(upstreamKey));
    m_process.setProcessEnvironment(env);
    m_process.start(binary, QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                        QStringLiteral("--token-file"), m_tokenFile,
                                        QStringLiteral("--reports-dir"), reportsDir,
                                        // A test machine's disk may be fuller than a server's.
                                        QStringLiteral("--reports-min-free"), QStringLiteral("0")} +
                                extraArgs);
    static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    while (m_process.waitForReadyRead(5000)) {
        m_output += m_process.readAllStandardOutput();
        const auto match = listening.match(QString::fromUtf8(m_output));
        if (match.hasMatch()) {
            baseUrl = QStringLiteral("http://127.0.0.1:") + match.captured(1);
            break;
        }
    }
}

RelayProcess::~RelayProcess()
{
    m_process.terminate();
    m_process.waitForFinished(3000);
}

QByteArray RelayProcess::output()
{
    m_process.waitForReadyRead(200);
    m_output += m_process.readAllStandardOutput() + m_process.readAllStandardError();
    return m_output;
}

QStringList RelayProcess::storedReports() const
{
    return QDir(reportsDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}
