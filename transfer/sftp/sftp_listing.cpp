#include "sftp/sftp_listing.h"

QByteArray SftpListingFilter::add(QByteArrayView data)
{
    m_pending += data;
    QByteArray kept;
    qsizetype start = 0;
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n', start)) {
        const QByteArrayView line = QByteArrayView(m_pending).sliced(start, end - start + 1);
        if (keeps(line.chopped(1)))
            kept += line;
        start = end + 1;
    }
    m_pending.remove(0, start);
    return kept;
}

QByteArray SftpListingFilter::finish()
{
    QByteArray rest;
    rest.swap(m_pending);
    return keeps(rest) ? rest : QByteArray();
}

bool SftpListingFilter::keeps(QByteArrayView line) const
{
    if (!m_longForm)
        return line != "." && line != "..";
    // A folder's line ends with its name: "drwxr-xr-x ... Dec  9 05:18 ..".
    return !line.startsWith('d') || !(line.endsWith(" .") || line.endsWith(" .."));
}
