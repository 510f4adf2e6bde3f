// The steps' progress in both checks: which step begins as a request
// starts, a connection opens, the login moves on or a command goes out.
#include "site_check/sftp_site_check_sequence.h"
#include "site_check/site_check_sequence.h"

void SiteCheckSequence::resolving()
{
    // The system's resolver has no limit of the check's.
    m_book.begin(SiteCheckStepId::NameResolution, 0);
}

void SiteCheckSequence::started(SiteCheckRequest request)
{
    switch (request) {
    case SiteCheckRequest::Login:
        return begin(SiteCheckStepId::Connection);
    case SiteCheckRequest::Listing:
        return begin(SiteCheckStepId::PassiveData);
    case SiteCheckRequest::Upload:
        return begin(SiteCheckStepId::Write);
    case SiteCheckRequest::ReadBack:
        return begin(SiteCheckStepId::ReadBack);
    case SiteCheckRequest::CleanUp:
        return begin(SiteCheckStepId::CleanUp);
    case SiteCheckRequest::Active:
        return begin(SiteCheckStepId::ActiveMode);
    case SiteCheckRequest::Ipv6:
        return begin(SiteCheckStepId::Ipv6);
    case SiteCheckRequest::None:
        break;
    }
}

void SiteCheckSequence::connecting()
{
    begin(SiteCheckStepId::Connection);
}

void SiteCheckSequence::connected()
{
    begin(SiteCheckStepId::Greeting);
}

void SiteCheckSequence::sent(SiteCheckRequest request, const QString &command)
{
    const auto is = [&command](const char *verb) {
        return command.startsWith(QLatin1String(verb), Qt::CaseInsensitive);
    };
    if (request == SiteCheckRequest::Login) {
        if (is("AUTH"))
            begin(SiteCheckStepId::Encryption);
        else if (is("USER") || is("PASS"))
            begin(SiteCheckStepId::Login);
        else if (is("SYST") || is("FEAT"))
            begin(SiteCheckStepId::Features);
    } else if (request == SiteCheckRequest::Upload && is("SIZE")) {
        begin(SiteCheckStepId::Verify);
    }
}

void SftpSiteCheckSequence::resolving()
{
    m_book.begin(SiteCheckStepId::NameResolution, 0);
}

void SftpSiteCheckSequence::started(SftpCheckRequest request)
{
    switch (request) {
    case SftpCheckRequest::Login:
        return begin(SiteCheckStepId::Connection);
    case SftpCheckRequest::Listing:
        return begin(SiteCheckStepId::Listing);
    case SftpCheckRequest::Upload:
        return begin(SiteCheckStepId::Write);
    case SftpCheckRequest::Verify:
        return begin(SiteCheckStepId::Verify);
    case SftpCheckRequest::ReadBack:
        return begin(SiteCheckStepId::ReadBack);
    case SftpCheckRequest::Delete:
        return begin(SiteCheckStepId::CleanUp);
    case SftpCheckRequest::Gone:
    case SftpCheckRequest::None:
        break;
    }
}

void SftpSiteCheckSequence::connecting()
{
    begin(SiteCheckStepId::Connection);
}

void SftpSiteCheckSequence::reached(SshFailureFacts::Phase phase)
{
    using Phase = SshFailureFacts::Phase;
    switch (phase) {
    case Phase::Connecting:
        break;
    case Phase::Connected:
        return begin(SiteCheckStepId::SshVersion);
    case Phase::KeyExchanged:
    case Phase::LoggingIn:
        return begin(SiteCheckStepId::Login);
    case Phase::LoggedIn:
    case Phase::Transferring:
        return begin(SiteCheckStepId::HomeFolder);
    }
}
