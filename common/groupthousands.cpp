#include "common/groupthousands.h"

QString GroupThousands(const QString &text)
{
    // A sign is no digit: it stays in front of the grouped digits.
    if (text.startsWith(QLatin1Char('-')))
        return QLatin1Char('-') + GroupThousands(text.mid(1));

    QString grouped;
    grouped.reserve(text.size() + text.size() / 3);
    qsizetype taken = 0;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        grouped.prepend(text.at(i));
        ++taken;
        if (taken % 3 == 0 && i > 0)
            grouped.prepend(QLatin1Char(','));
    }
    return grouped;
}
