#pragma once

#include "engine/operation.h"

// The operation for `order`, of the kind its command and server ask for: FTP
// or SFTP, a command or a site check. What the facade hands to the engine.
std::unique_ptr<Operation> makeProtocolOperation(const OperationOrder &order,
                                                 const OperationContext &context);

// What the site check of `order` checks, as its report names it: the server
// and the folder the check runs in, without the account.
QString siteCheckTargetOf(const OperationOrder &order);
// What the soak of `order` soaks, named the same way.
QString soakTargetOf(const OperationOrder &order);
