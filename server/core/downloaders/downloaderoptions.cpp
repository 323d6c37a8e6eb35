#include "downloaderoptions.h"

#include <QRegExp>

namespace {

// A name, "=", then a bare word or a double-quoted text of the characters
// devices use in option values (letters, digits, blanks, punctuation).
const QString kOptionPattern = QStringLiteral(
    "\\b*([a-zA-Z_][a-zA-Z\\d_]*)=((?:[a-zA-Z\\d_]+)|"
    "\"(?:[a-zA-Z\\d_\\s\\\\/:@,.?~`!@#$%^&*()-=+|<>\\[\\]\\{\\}]*)\")\\b*");

} // namespace

QList<DownloaderOption> parseDownloaderOptions(const QString &text)
{
    QList<DownloaderOption> options;
    QRegExp expression(kOptionPattern, Qt::CaseSensitive);
    int position = 0;
    while ((position = expression.indexIn(text, position)) != -1) {
        QString value = expression.cap(2);
        value.remove(QLatin1Char('"'));
        options.append({expression.cap(1), value});
        // Every match holds at least "x=y", so the scan always moves on.
        position += expression.matchedLength();
    }
    return options;
}
