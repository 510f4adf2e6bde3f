#include "browser_address.h"

#include <QStringList>

QUrl browserUrlFor(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
    // Schemes written without "//"; any other scheme needs "://" to count as one.
    static const QStringList bareSchemes = {QStringLiteral("about"), QStringLiteral("data")};
    const QUrl asTyped(trimmed, QUrl::TolerantMode);
    if (trimmed.contains(QLatin1String("://")) || bareSchemes.contains(asTyped.scheme().toLower()))
        return asTyped;
    return QUrl(QStringLiteral("http://") + trimmed, QUrl::TolerantMode);
}
