#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct ReportPart
{
    std::string name;     // form field name
    std::string filename; // empty for plain fields
    std::string contentType;
    std::string content;
};

// Keeps each report in a new owner-only folder of its own: payload.json plus
// every attachment under a name the client cannot choose, within a quota for
// the whole reports folder and above a floor of free disk space.
class ReportStore
{
public:
    enum class Outcome { Stored, Full, Failed };

    ReportStore(std::string root, std::uint64_t maxBytes, std::uint64_t minFreeBytes);

    // `folder` receives the folder written when the report is stored.
    Outcome store(const std::vector<ReportPart> &parts, std::string *folder = nullptr);

    // The file name of the part at `index` (0 is the first part): the
    // program's own attachments keep their fixed names, "payload.json" for
    // the payload; anything else is its index and a cleaned extension.
    static std::string fileName(const ReportPart &part, int index);

private:
    std::string m_root;
    std::uint64_t m_maxBytes;
    std::uint64_t m_minFreeBytes;
    std::mutex m_mutex;
    std::uint64_t m_usedBytes = 0;
};
