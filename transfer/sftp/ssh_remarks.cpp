#include "sftp/ssh_remarks.h"

namespace {

struct RemarkRow
{
    const char *start; // how libcurl 7.88's remark starts
    SshRemark::Kind kind;
    const char *text; // the method tried, in the operator's words
};

constexpr RemarkRow Remarks[] = {
    {"SSH authentication methods available: ", SshRemark::Kind::MethodsOffered, nullptr},
    {"Initialized password authentication", SshRemark::Kind::Trying, "password"},
    {"Initialized keyboard interactive authentication", SshRemark::Kind::Trying,
     "keyboard-interactive with the password"},
    {"Initialized SSH public key authentication", SshRemark::Kind::Trying, "key"},
    {"Agent based authentication successful", SshRemark::Kind::Trying, "the SSH agent"},
    {"Authentication complete", SshRemark::Kind::LoggedIn, nullptr},
    {"Re-using existing connection", SshRemark::Kind::Reused, nullptr},
};

} // namespace

SshRemark sshRemark(QByteArrayView remark)
{
    while (remark.endsWith('\n') || remark.endsWith('\r'))
        remark.chop(1);
    for (const RemarkRow &row : Remarks) {
        const QByteArrayView start(row.start);
        if (!remark.startsWith(start))
            continue;
        const QString text = row.text ? QString::fromLatin1(row.text)
                                      : QString::fromUtf8(remark.sliced(start.size())).trimmed();
        return {row.kind, row.kind == SshRemark::Kind::Reused ? QString() : text};
    }
    return {};
}
