#pragma once

#include "curl_transfer.h"

#include <QList>
#include <QPair>
#include <QString>

#include <memory>

// The clients the transfer benchmark compares: the component, the curl tool,
// and over FTP lftp, over SFTP OpenSSH's sftp. Each call is one fresh login
// that moves whole files.

enum class Protocol { Ftp, Sftp };

// No single transfer of the benchmark should come near this.
inline constexpr int TransferTimeLimitMs = 10 * 60 * 1000;

// Where the server is, and the account to use.
struct Endpoint
{
    Protocol protocol = Protocol::Ftp;
    int port = 0;
    QString user;
    QString password;
    // SFTP only: the client's private key (the public one beside it, ".pub"),
    // a known_hosts file naming the server, the SHA-256 of the host key
    // libssh2 is shown (as curl's --hostpubsha256 takes it), and the cipher
    // libssh2 negotiates, forced on OpenSSH's client so both do the same work.
    QString keyPath;
    QString knownHostsPath;
    QString hostKeySha256;
    QString cipher;
    // FTP through a SOCKS5 proxy at this "host:port"; empty: directly.
    QString socks5;
};

struct Timing
{
    bool ok = false;
    double seconds = 0;
    // User and system CPU time of the client: a tool with its children (ssh
    // under sftp), or for the component this whole process, engine included.
    double cpuSeconds = 0;
    // The component only: the longest stall of this thread's event loop.
    double longestGapMs = 0;
    // Series of files: the time of each transfer on its own, where the
    // client tells it.
    QList<double> perFileSeconds;
    QString error;
};

enum class Client { Component, CurlTool, Lftp, OpenSsh };

// The component, pointed at `server` with its account.
std::unique_ptr<CurlTransfer> componentFor(const Endpoint &server);

// The clients compared over `protocol`, in the order the rounds rotate.
QList<Client> clientsFor(Protocol protocol);
const char *clientName(Client client);
const char *protocolName(Protocol protocol);

Timing download(Client client, const Endpoint &server, const QString &remote, const QString &local);
Timing upload(Client client, const Endpoint &server, const QString &local, const QString &remote);

// Remote name and local path of each file of a series fetched on one login.
using FileList = QList<QPair<QString, QString>>;

// The series on one login: the component one GET after another, the curl
// tool in one invocation that keeps its connection across the URLs, OpenSSH's
// sftp in one batch. lftp runs none.
Timing downloads(Client client, const Endpoint &server, const FileList &files);
