#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Drops the "." and ".." entries libcurl lists from an SFTP folder, as an FTP
// server's listing has neither. libcurl hands a listing over in pieces of
// its own choosing (a name and its line end apart), so lines are gathered
// first.
class SftpListingFilter final
{
public:
    explicit SftpListingFilter(bool longForm) : m_longForm(longForm) {}

    // The complete lines of `data` and of what came before that are kept.
    QByteArray add(QByteArrayView data);
    // What is left once the listing has ended.
    QByteArray finish();

private:
    bool keeps(QByteArrayView line) const;

    bool m_longForm; // "ls -l" lines rather than names alone
    QByteArray m_pending;
};
