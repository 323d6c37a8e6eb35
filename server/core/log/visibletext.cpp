#include "visibletext.h"

namespace {

constexpr ushort kFirstPrintable = 0x20;
constexpr ushort kDelete = 0x7F;
constexpr ushort kLastC1 = 0x9F;
constexpr int kEscapeDigits = 2;
constexpr int kHexBase = 16;

bool isShownEscaped(QChar c)
{
    const ushort code = c.unicode();
    return (code < kFirstPrintable && c != QLatin1Char('\t')) || (code >= kDelete && code <= kLastC1);
}

} // namespace

QString visibleText(const QString &text)
{
    int first = 0;
    while (first < text.size() && !isShownEscaped(text.at(first)))
        ++first;
    if (first == text.size())
        return text;
    QString shown = text.left(first);
    for (int i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isShownEscaped(c))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), kEscapeDigits, kHexBase, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}
