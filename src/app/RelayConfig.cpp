#include "RelayConfig.h"

#include "BuildConfig.h"

RelayConfig RelayConfig::builtIn()
{
    return RelayConfig{QStringLiteral(TOLVO_RELAY_URL), QStringLiteral(TOLVO_RELAY_TOKEN)};
}
