#include "ReportStore.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>
#include <QStorageInfo>
#include <QUuid>

#include <algorithm>
#include <cctype>

namespace {

const QFile::Permissions OwnerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

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

// Letters and digits of the part's extension, lower-cased, at most 8.
std::string cleanExtension(const std::string &filename)
{
    const auto dot = filename.rfind('.');
    std::string out;
    if (dot == std::string::npos)
        return ".bin";
    for (std::size_t i = dot + 1; i < filename.size() && out.size() < 8; ++i) {
        const unsigned char c = static_cast<unsigned char>(filename[i]);
        if (std::isalnum(c) && c < 0x80)
            out += char(std::tolower(c));
    }
    return out.empty() ? ".bin" : "." + out;
}

} // namespace

ReportStore::ReportStore(std::string root, std::uint64_t maxBytes, std::uint64_t minFreeBytes)
    : m_root(std::move(root))
    , m_maxBytes(maxBytes)
    , m_minFreeBytes(minFreeBytes)
{
    const QString rootPath = QString::fromStdString(m_root);
    QDir().mkpath(rootPath);
    QFile::setPermissions(rootPath, OwnerOnlyFolder);
    // What earlier runs stored counts toward the quota.
    QDirIterator it(rootPath, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        m_usedBytes += std::uint64_t(it.fileInfo().size());
    }
}

std::string ReportStore::fileName(const ReportPart &part, int index)
{
    if (part.name == "payload_json")
        return "payload.json";
    // The attachments the program itself sends, named as it names them.
    static const std::pair<const char *, const char *> known[] = {
        {"icon", "tolvo_icon.png"}, {"screenshot", "screenshot.png"}, {"log", "log.txt"}};
    for (const auto &[name, filename] : known) {
        if (part.name == name && part.filename == filename)
            return filename;
    }
    return std::to_string(index) + cleanExtension(part.filename);
}

ReportStore::Outcome ReportStore::store(const std::vector<ReportPart> &parts, std::string *folderOut)
{
    std::uint64_t size = 0;
    for (const ReportPart &part : parts)
        size += part.content.size();

    const QString rootPath = QString::fromStdString(m_root);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const QStorageInfo disk(rootPath);
        const auto available = std::uint64_t(std::max<qint64>(0, disk.bytesAvailable()));
        if (m_usedBytes + size > m_maxBytes || available < m_minFreeBytes + size)
            return Outcome::Full;
        m_usedBytes += size; // reserved now so concurrent reports cannot all pass
    }
    auto release = [this, size] {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_usedBytes -= size;
    };

    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString unique = QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QDir root(rootPath);
    const QString folderName = stamp + QLatin1Char('-') + unique;
    if (!root.mkpath(folderName)) {
        release();
        return Outcome::Failed;
    }
    QDir folder(root.filePath(folderName));
    QFile::setPermissions(folder.path(), OwnerOnlyFolder);

    std::vector<std::string> used;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string name = fileName(parts[i], int(i));
        if (std::find(used.begin(), used.end(), name) != used.end())
            name = std::to_string(i) + cleanExtension(parts[i].filename);
        used.push_back(name);
        if (!writeFile(folder.filePath(QString::fromStdString(name)), parts[i].content)) {
            folder.removeRecursively();
            release();
            return Outcome::Failed;
        }
    }
    if (folderOut)
        *folderOut = folder.absolutePath().toStdString();
    return Outcome::Stored;
}
