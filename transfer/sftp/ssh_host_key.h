#pragma once

#include <QByteArray>
#include <QString>

// Facts about an SSH server's host key, as OpenSSH states them: its
// fingerprint, its type, and what a known_hosts file says of it.

// The fingerprint `ssh-keygen -lf` prints for a key blob (the key in SSH wire
// form): "SHA256:" and the unpadded base64 of the blob's SHA-256.
QString sshFingerprint(const QByteArray &blob);

// The key type a blob names in its first field (a uint32 length and the
// name, such as "ssh-ed25519" or "ecdsa-sha2-nistp256"); empty when the blob
// does not start with a printable name that fits in it.
QString sshBlobKeyType(const QByteArray &blob);

// The key type for libcurl's CURLKHTYPE_* value: "ssh-rsa", "ssh-dss",
// "ssh-ed25519", "rsa1", or "ecdsa-sha2" for any curve (libcurl names no
// curve; the blob does); empty for CURLKHTYPE_UNKNOWN and anything else.
QString curlKeyTypeName(int curlKeyType);

// The type of a key libcurl reports: the blob's own name when it has one,
// otherwise the name for libcurl's value.
QString sshKeyType(int curlKeyType, const QByteArray &blob);

// Whether two type names are one kind of key for known_hosts: equal names,
// or ECDSA on any curve (OpenSSH compares ECDSA keys whatever their curves).
bool sameKeyKind(const QString &type, const QString &other);

// What a known_hosts file says of a server's key.
//  Known: a line for this host and port holds this very key.
//  Changed: no line holds the key, but one holds another key of the same
//      kind; or an @revoked line for the host holds this key, which must then
//      be refused as well.
//  Unknown: nothing holds a key of this kind for the host and port. As in
//      OpenSSH, a key of another kind (an ECDSA line when the server shows
//      ed25519) does not make the key Changed: servers offer several kinds,
//      and the client settles on one per connection.
// A line holding the key wins over one holding another key, as in OpenSSH.
enum class KnownHostState { Unknown, Known, Changed };

// The name known_hosts files give a host at a port: the host for port 22,
// "[host]:port" for any other; lower case, as OpenSSH looks it up.
QString knownHostName(const QString &host, int port);

// Looks the key of `host` at `port` up in the text of a known_hosts file.
// Understands comma-separated host patterns with '*' and '?' wildcards and
// '!' negation, "[host]:port" names, hashed names ("|1|salt|hash", an
// HMAC-SHA1 of the name keyed by the salt), comments, blank lines, @revoked
// lines, and ignores @cert-authority lines and lines it cannot read.
// `keyType` empty means the type the blob names.
KnownHostState knownHostState(const QByteArray &knownHosts, const QString &host, int port,
                              const QString &keyType, const QByteArray &blob);

// What to do with the host key a server shows, decided before anything of
// the account is sent: accept it (pinned this session, or in known_hosts),
// ask the operator (unknown), or refuse it (another key is pinned or in
// known_hosts).
struct HostKeyVerdict
{
    enum class Action { Accept, Ask, Refuse };
    Action action = Action::Refuse;
    QString keyType;
    QString fingerprint;
    bool pinned = false;     // accepted or refused by this session's pin
    bool knownHosts = false; // accepted or refused by known_hosts
};

// `pin` is the SHA-256 of a key trusted this session, base64 without padding
// (empty when none is); `knownHosts` the text of the operator's known_hosts.
HostKeyVerdict hostKeyVerdict(const QByteArray &pin, const QByteArray &knownHosts,
                              const QString &host, int port, int curlKeyType,
                              const QByteArray &blob);
