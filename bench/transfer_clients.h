#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The clients the transfer benchmark compares: the FTP component, the curl
// tool and lftp. Each call is one fresh login that moves whole files.

// Where the server is, and the account to use.
struct Endpoint
{
    int port = 0;
    QString user;
    QString password;
};

struct Timing
{
    bool ok = false;
    double seconds = 0;
    // The component only: the longest stall of this thread's event loop.
    double longestGapMs = 0;
    // Series of files: the time of each transfer on its own.
    QList<double> perFileSeconds;
    QString error;
};

enum class Client { Component, CurlTool, Lftp };
inline constexpr Client Clients[] = {Client::Component, Client::CurlTool, Client::Lftp};

const char *clientName(Client client);

Timing download(Client client, const Endpoint &server, const QString &remote, const QString &local);
Timing upload(Client client, const Endpoint &server, const QString &local, const QString &remote);

// Remote name and local path of each file of a series fetched on one login.
using FileList = QList<QPair<QString, QString>>;

// The series through the component, one GET after another.
Timing componentDownloads(const Endpoint &server, const FileList &files);
// The series through one curl invocation, which keeps its connection across
// the URLs; `scratch` is a folder for its list of URLs.
Timing curlDownloads(const Endpoint &server, const FileList &files, const QString &scratch);
