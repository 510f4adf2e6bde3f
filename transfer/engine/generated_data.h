#pragma once

#include <QIODevice>

#include <functional>
#include <vector>

// A file that is made, not read from disk: what a soak's round uploads.
// `fill(offset, data, length)` gives its bytes from `offset` on; any part of
// it may be read again, as a repeated upload does.
class GeneratedFile final : public QIODevice
{
public:
    using Fill = std::function<void(qint64 offset, char *data, qint64 length)>;
    GeneratedFile(qint64 size, Fill fill);

    qint64 size() const override { return m_size; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 m_size;
    Fill m_fill;
};

// Where a read-back goes: compared as it arrives with the file that was
// sent, kept nowhere.
class ComparedFile final : public QIODevice
{
public:
    ComparedFile(qint64 size, GeneratedFile::Fill fill);

    qint64 received() const { return m_received; }
    // The offset of the first byte that differs from the file sent, or that
    // goes past its end; -1 when none does.
    qint64 firstDifference() const { return m_firstDifference; }
    // Every byte came, and each was the one sent.
    bool whole() const { return m_received == m_size && m_firstDifference < 0; }

protected:
    bool isSequential() const override { return true; }
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override;

private:
    qint64 m_size;
    GeneratedFile::Fill m_fill;
    qint64 m_received = 0;
    qint64 m_firstDifference = -1;
    std::vector<char> m_expected; // the bytes sent, made again for each piece that comes
};
