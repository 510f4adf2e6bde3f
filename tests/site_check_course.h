#pragma once

// What the tests of the site checks' courses share: a book's outlets that
// keep what was reported, the order a check runs for, and its test file.
#include "site_check/site_check_book.h"
#include "site_check_support.h"

using Id = SiteCheckStepId;

// What a check reported, through its book's outlets.
struct Reported
{
    QList<SiteCheckStep> steps;
    QList<SiteCheckProgress> progress;

    SiteCheckBook::Outlets outlets()
    {
        return {[this](const SiteCheckStep &s) { steps << s; },
                [this](const SiteCheckProgress &p) { progress << p; }};
    }
    const SiteCheckStep *find(Id id) const
    {
        for (const SiteCheckStep &s : steps)
            if (s.id == id)
                return &s;
        return nullptr;
    }
    QString result(Id id) const
    {
        const SiteCheckStep *s = find(id);
        return s ? siteCheckResultWord(s->outcome.result) : QStringLiteral("none");
    }
    QString detail(Id id) const
    {
        const SiteCheckStep *s = find(id);
        return s ? s->outcome.detail : QString();
    }
};

inline OperationOrder order(TransferProtocol protocol, const QStringList &args = {})
{
    OperationOrder o;
    o.command = {FtpVerb::Check, args};
    o.protocol = protocol;
    o.host = QStringLiteral("files.example");
    o.port = protocol == TransferProtocol::Sftp ? 22 : 21;
    o.user = QStringLiteral("op");
    o.timeoutSeconds = 10;
    return o;
}

inline const QString FileName = QStringLiteral("sarvel-check-test.tmp");
inline const QByteArray Payload("payload\r\n\x1a");
