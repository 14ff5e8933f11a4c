#pragma once

#include <QJsonObject>
#include <QString>

#include <map>
#include <utility>

// Model name → (input, output) price in US dollars per million tokens.
// Models outside the table have no known price and cost nothing here.
inline const std::map<QString, std::pair<double, double>> MODEL_PRICING_USD_PER_M = {
    {QStringLiteral("gpt-4o-mini"), {0.15, 0.60}},  {QStringLiteral("gpt-4o"), {2.50, 10.00}},
    {QStringLiteral("gpt-4.1-mini"), {0.40, 1.60}}, {QStringLiteral("gpt-4.1"), {2.00, 8.00}},
    {QStringLiteral("o4-mini"), {1.10, 4.40}},
};

// Pounds per US dollar.
inline constexpr double USD_TO_GBP = 0.79;

// (prompt tokens, completion tokens) of a reply's "usage" object; 0 for what is missing.
std::pair<int, int> usageTokens(const QJsonObject &usage);

double costGbp(const QString &model, int promptTokens, int completionTokens);

// Whether the table knows what `model` costs.
bool isPriced(const QString &model);

// The cost as shown beside a call: formatGbp, or "price unknown" for a model
// outside the table rather than a made-up figure.
QString costText(const QString &model, double amount);

// "£0.01" and up with two decimals; smaller amounts with as many decimals as
// they need (up to six) so that a cheap call never reads as free.
QString formatGbp(double amount);
