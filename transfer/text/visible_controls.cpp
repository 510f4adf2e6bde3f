#include "text/visible_controls.h"

#include <algorithm>

QString withVisibleControls(const QString &text)
{
    const auto isControl = [](char16_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); };
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return isControl(c.unicode()); }))
        return text;
    QString visible;
    visible.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (!isControl(code))
            visible += c;
        else if (code == u'\n')
            visible += QLatin1String("\\n");
        else if (code == u'\r')
            visible += QLatin1String("\\r");
        else if (code == u'\t')
            visible += QLatin1String("\\t");
        else if (code < 0x80)
            visible += QStringLiteral("\\x%1").arg(uint(code), 2, 16, QLatin1Char('0'));
        else
            visible += QStringLiteral("\\u%1").arg(uint(code), 4, 16, QLatin1Char('0'));
    }
    return visible;
}
