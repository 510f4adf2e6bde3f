#pragma once

#include <QDateTime>
#include <QStringList>

struct TrustQuestion;

// Why a server's certificate failed the check, in the operator's words:
// libcurl's (OpenSSL's) reason turned into a sentence, then what the
// certificate's own dates and names show beside it, each said once
// ("it is self-signed: no authority vouches for it", "it expired on …",
// "it is made out to files.example.com, not to 10.0.0.5").
QStringList certificateProblems(const TrustQuestion &question,
                                const QDateTime &nowUtc = QDateTime::currentDateTimeUtc());

// Date and time with the zone, the same whatever the locale, so the dates
// read alike in the question and in what the operator compares them with.
QString certificateDate(const QDateTime &when);
