#pragma once

#include <QString>

// The row counts on the status line, with a "," before every third digit from the right:
// "1234567" gives "1,234,567". A leading "-" is kept in front and is not counted as a digit
// ("-1234" gives "-1,234", "-123" stays "-123"). Other characters are counted like digits, as
// the text is not examined; an empty text gives an empty text.
QString GroupThousands(const QString &text);
