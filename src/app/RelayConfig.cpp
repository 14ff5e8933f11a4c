#include "RelayConfig.h"

#include "BuildConfig.h"

namespace {

// The build's value, unless the environment names one; set but empty means
// "none", so a test or a packager's check can run without the build's relay.
QString overridable(const char *variable, const QString &builtIn)
{
    return qEnvironmentVariableIsSet(variable) ? qEnvironmentVariable(variable) : builtIn;
}

} // namespace

RelayConfig RelayConfig::builtIn()
{
    return RelayConfig{overridable("TOLVO_RELAY_URL", QStringLiteral(TOLVO_RELAY_URL)),
                       overridable("TOLVO_RELAY_TOKEN", QStringLiteral(TOLVO_RELAY_TOKEN))};
}
