#pragma once

#include <QDate>
#include <QString>

#include <cstdint>

// Writes a made-up but plausible recording for every tracked league into
// `dir`: one season of weekly rounds per league, with `recordedOn` falling
// in a round that leaves about twelve rounds still to play. Results up to
// and including that day are filled in; later fixtures are scheduled. The
// same seed and day always give the same bytes.
bool writeRecording(const QString &dir, const QDate &recordedOn, std::uint64_t seed, QString *error);
