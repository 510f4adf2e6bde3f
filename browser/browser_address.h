#pragma once

#include <QString>
#include <QUrl>

// The page an address typed in the console stands for, read the way a
// browser's address bar reads it: an address without a scheme is an http
// address (also "host:port", which is no scheme); an empty one is a blank page.
QUrl browserUrlFor(const QString &address);
