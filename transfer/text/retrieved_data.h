#pragma once

#include "text/protocol/chunk_decoder.h"

#include <QIODevice>

#include <memory>

// The data the last operation retrieved, read back a chunk at a time from
// its file, so memory stays flat whatever its size.
class RetrievedData final
{
public:
    void replace(std::shared_ptr<QIODevice> device);
    void clear() { replace(nullptr); }
    // The next part, at most `size` bytes of it, decoded; empty at the end.
    QString read(int size);

private:
    std::shared_ptr<QIODevice> m_device;
    Utf8ChunkDecoder m_decoder;
};
