#include "Pricing.h"

namespace {

const QChar POUND(0x00A3);

} // namespace

std::pair<int, int> usageTokens(const QJsonObject &usage)
{
    return {usage.value(QLatin1String("prompt_tokens")).toInt(0),
            usage.value(QLatin1String("completion_tokens")).toInt(0)};
}

double costGbp(const QString &model, int promptTokens, int completionTokens)
{
    const auto it = MODEL_PRICING_USD_PER_M.find(model);
    if (it == MODEL_PRICING_USD_PER_M.end())
        return 0.0;
    const std::pair<double, double> &price = it->second;
    const double usd = (double(promptTokens) * price.first + double(completionTokens) * price.second) / 1e6;
    return usd * USD_TO_GBP;
}

bool isPriced(const QString &model)
{
    return MODEL_PRICING_USD_PER_M.count(model) > 0;
}

QString costText(const QString &model, double amount)
{
    return isPriced(model) ? formatGbp(amount) : QStringLiteral("price unknown");
}

QString formatGbp(double amount)
{
    // Written as "not above zero" so that a NaN also shows as nothing spent.
    if (!(amount > 0))
        return POUND + QStringLiteral("0.00");
    if (amount >= 0.01)
        return POUND + QString::number(amount, 'f', 2);
    if (amount < 0.000001)
        return QLatin1Char('<') + POUND + QStringLiteral("0.000001");
    QString text = QString::number(amount, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return POUND + text;
}
