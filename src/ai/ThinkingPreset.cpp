#include "ThinkingPreset.h"

const std::map<QString, ThinkingPreset> &thinkingDepths()
{
    // Built on first use; the language guarantees a single, thread-safe
    // initialisation even when several workers ask at once.
    static const std::map<QString, ThinkingPreset> depths = {
        {QStringLiteral("quick"), {3, 5, 0.55, 0.60, 220, 3}},
        {QStringLiteral("standard"), {5, 10, 0.40, 0.40, 400, 3}},
        {QStringLiteral("deep"), {10, 20, 0.20, 0.25, 700, 5}},
    };
    return depths;
}

ThinkingPreset thinkingPreset(const QString &depth)
{
    const auto &depths = thinkingDepths();
    const auto it = depths.find(depth);
    if (it != depths.end())
        return it->second;
    return depths.at(QStringLiteral("standard"));
}
