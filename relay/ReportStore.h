#pragma once

#include <string>
#include <vector>

struct ReportPart
{
    std::string name;     // form field name
    std::string filename; // empty for plain fields
    std::string contentType;
    std::string content;
};

// Keeps each report in a new folder of its own: payload.json plus every
// attachment under a name that is safe on any file system.
class ReportStore
{
public:
    explicit ReportStore(std::string root);

    // Returns the folder written, or an empty text when nothing could be stored.
    std::string store(const std::vector<ReportPart> &parts) const;

    // A file name made only of letters, digits, '.', '-' and '_', never
    // starting with a dot, at most 80 characters, never empty.
    static std::string sanitize(const std::string &name);

private:
    std::string m_root;
};
