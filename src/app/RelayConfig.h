#pragma once

#include <QString>

// The relay stands in for the model service when the user has no API key.
struct RelayConfig
{
    QString baseUrl;
    QString token;

    // The relay this build was configured with (empty fields when none).
    static RelayConfig builtIn();
};
