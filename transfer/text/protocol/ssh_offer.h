#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// What an SSH server offers before anything is encrypted: its version line
// and its first packet, the key-exchange offer (SSH_MSG_KEXINIT), with the
// algorithms of each kind in its order of preference.

struct SshAlgorithms
{
    QStringList keyExchange;
    QStringList hostKey;
    QStringList cipher;      // client to server
    QStringList mac;         // client to server
    QStringList compression; // client to server
};

struct SshOfferReading
{
    enum class Status {
        NeedMore,  // the offer is not all there yet
        Complete,  // version and offer read
        Malformed, // not an SSH server's greeting; `problem` says why
    };
    Status status = Status::NeedMore;
    QString version; // printable, as printableSshVersion gives it
    SshAlgorithms offer;
    QString problem;
};

// A key exchange that failed: what the server offered and what this
// program's SSH library supports.
struct SshNegotiation
{
    QString serverVersion;
    SshAlgorithms server;
    SshAlgorithms ours;
    QString library; // "libssh2 1.10.0"
};

// Reads what a server sent from the start of a connection: any lines before
// its version line, the version line, then its first binary packet, which
// must be the key-exchange offer. Bytes after that packet are ignored.
SshOfferReading readSshOffer(QByteArrayView received);

// Where the server's offer and what this program's SSH library (`library`,
// "libssh2 1.10.0") supports have nothing in common, the first such kind in
// the order of the key exchange, with both sides' lists and what would help:
// "The server offers host keys rsa-sha2-512, rsa-sha2-256; this program's SSH
// library (libssh2 1.10.0) verifies ssh-ed25519, ecdsa-sha2-nistp256/384/521
// and ssh-rsa (SHA-1) only: the server needs an Ed25519 or ECDSA host key".
// Empty when every kind has one in common.
QString sshNothingInCommon(const SshAlgorithms &server, const SshAlgorithms &ours,
                           const QString &library);

// The offer in one line per kind, for a report: "key exchange: curve25519-
// sha256, …".
QStringList sshOfferLines(const SshAlgorithms &offer);
