#pragma once

#include <QString>

// The relay stands in for the model service when the user has no API key.
struct RelayConfig
{
    QString baseUrl;
    QString token;

    // The relay this build was configured with (empty fields when none);
    // the environment variables TOLVO_RELAY_URL and TOLVO_RELAY_TOKEN, when
    // set, take its place (empty: no relay).
    static RelayConfig builtIn();
};
