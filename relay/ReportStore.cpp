#include "ReportStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QUuid>

#include <set>

namespace {

bool writeFile(const QString &path, const std::string &content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content.data(), qint64(content.size())) != qint64(content.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

ReportStore::ReportStore(std::string root)
    : m_root(std::move(root))
{}

std::string ReportStore::sanitize(const std::string &name)
{
    std::string out;
    for (char c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '-' || c == '_';
        out += safe ? c : '_';
    }
    while (!out.empty() && out.front() == '.')
        out.erase(out.begin());
    if (out.size() > 80)
        out = out.substr(out.size() - 80); // keep the extension
    if (out.empty() || out == "payload.json")
        out = "attachment" + out;
    return out;
}

std::string ReportStore::store(const std::vector<ReportPart> &parts) const
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString unique = QUuid::createUuid().toString(QUuid::Id128).left(8);
    QDir root(QString::fromStdString(m_root));
    const QString folderName = stamp + QLatin1Char('-') + unique;
    if (!root.mkpath(folderName))
        return {};
    const QDir folder(root.filePath(folderName));

    std::set<std::string> used = {"payload.json"};
    for (const ReportPart &part : parts) {
        std::string fileName;
        if (part.name == "payload_json" && part.filename.empty()) {
            fileName = "payload.json";
        } else {
            const std::string base = sanitize(part.filename.empty() ? part.name : part.filename);
            fileName = base;
            for (int n = 1; used.count(fileName); ++n)
                fileName = std::to_string(n) + "-" + base;
            used.insert(fileName);
        }
        if (!writeFile(folder.filePath(QString::fromStdString(fileName)), part.content)) {
            QDir(folder).removeRecursively();
            return {};
        }
    }
    return folder.absolutePath().toStdString();
}
