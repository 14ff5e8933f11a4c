#include "CheckSummary.h"

#include <QStringList>

QString checkAllSummary(int correct, int wrong, int skipped)
{
    QStringList parts;
    if (correct + wrong > 0)
        parts.append(
            QStringLiteral("%1 checked (%2 correct, %3 wrong)").arg(correct + wrong).arg(correct).arg(wrong));
    if (skipped > 0)
        parts.append(QStringLiteral("%1 not finished yet").arg(skipped));
    QString text = parts.join(QString::fromUtf8(" \xC2\xB7 "));
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}
