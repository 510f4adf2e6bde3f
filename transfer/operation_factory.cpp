#include "operation_factory.h"

#include "checked_upload.h"
#include "ftp/ftp_operation.h"
#include "idle_test.h"
#include "remote_hash.h"
#include "resume_transfer.h"
#include "sftp/sftp_operation.h"
#include "site_check/sftp_site_check_operation.h"
#include "site_check/site_check_operation.h"
#include "soak_operation.h"
#include "text/report/site_check_report.h"

std::unique_ptr<Operation> makeProtocolOperation(const OperationOrder &order,
                                                 const OperationContext &context)
{
    if (order.command.verb == TransferVerb::Check) {
        if (order.protocol == TransferProtocol::Sftp)
            return std::make_unique<SftpSiteCheckOperation>(order, context);
        return std::make_unique<SiteCheckOperation>(order, context);
    }
    if (order.command.verb == TransferVerb::Reget || order.command.verb == TransferVerb::Reput)
        return std::make_unique<ResumeTransfer>(order, context, &makeProtocolOperation);
    if (order.command.verb == TransferVerb::Soak)
        return std::make_unique<SoakOperation>(order, context, &makeProtocolOperation);
    if (order.command.verb == TransferVerb::Hash)
        return std::make_unique<RemoteHash>(order, context, &makeProtocolOperation);
    if (CheckedUpload::checks(order))
        return std::make_unique<CheckedUpload>(order, context, &makeProtocolOperation);
    if (order.command.verb == TransferVerb::Idletest)
        return std::make_unique<IdleTest>(order, context, &makeProtocolOperation);
    if (order.protocol == TransferProtocol::Sftp)
        return std::make_unique<SftpOperation>(order, context);
    OperationContext ftp = context;
    // CLOSE says QUIT; the login it closes has been told all it needs.
    ftp.announceUtf8 = context.announceUtf8 && order.command.verb != TransferVerb::Close;
    return std::make_unique<FtpOperation>(order, ftp);
}

namespace {

QString targetOf(const OperationOrder &order, const QString &folderArgument)
{
    const RemoteFolder folder =
        folderArgument.isEmpty() ? order.folder : order.folder.resolved(folderArgument);
    const QString scheme = order.protocol == TransferProtocol::Sftp ? QStringLiteral("sftp")
                           : order.implicitTls                      ? QStringLiteral("ftps")
                                                                    : QStringLiteral("ftp");
    return siteCheckTarget(order.host, order.port, folder.display(), scheme);
}

} // namespace

QString siteCheckTargetOf(const OperationOrder &order)
{
    return targetOf(order, order.command.args.value(0));
}

QString soakTargetOf(const OperationOrder &order)
{
    return targetOf(order, soakArguments(order.command.args).folder);
}
