// MemoryStream: a stream served from a buffer of its own, the common part of
// the decoded entry streams.
#pragma once

#include <cstdint>

#include "vfs/core/result.h"
#include "vfs/core/stream.h"

namespace vfs {

// Serves `size` bytes from an owned buffer. A plain MemoryStream holds zero
// bytes after Init. The decoded entry streams (LzEntryStream,
// ZlibEntryStream) fill the buffer once, when they are attached, and serve
// it only if the decoder produced exactly `size` bytes: before that, and
// after a failed decode, the stream has nothing to serve (GetStatus() says
// why), so it never hands out bytes that no decoder wrote.
class MemoryStream : public Stream {
  public:
    MemoryStream() = default;
    ~MemoryStream() override;

    // Allocates a zeroed buffer of `size` bytes; cursor at its start. A
    // negative size or a failed allocation returns -1 and leaves the stream
    // empty.
    Result Init(int32_t size);
    // 0 while the buffer holds the stream's contents; -1 if Init failed, a
    // decoded stream has not been decoded yet, or its decoding failed or gave
    // a size other than the one Init was given.
    Result GetStatus() const { return status; }

    // Copies from the cursor, at most up to the end; 0 at the end, for a
    // count of 0 or less, and while the stream holds no contents.
    int32_t Read(void* buffer, int32_t count) override;
    // Always 0: the buffer is not written through the stream.
    int32_t Write(const void* buffer, int32_t count) override;
    // Origins 0, 1, 2 within 0 to size; anything else returns -1 and leaves
    // the cursor.
    int32_t Seek(int32_t offset, int32_t origin) override;
    int32_t GetSize() override { return size; }
    int32_t Tell() override;
    // The contents themselves: a pointer `offset` bytes into the buffer when
    // offset and length lie within it, else null.
    const void* Map(int32_t offset, int32_t length) override;
    // Pointers into the buffer need no giving back; others go to the inner
    // stream.
    void Unmap(const void* pointer) override;
    // Frees the buffer; size 0.
    void Close() override;

  protected:
    // For the decoded entry streams: their contents come from a decoder.
    explicit MemoryStream(bool decoded) : decodedByAttach(decoded) {}

    // True once, between a successful Init and the decode of a decoded
    // stream.
    bool IsAwaitingDecode() const;
    // Ends the one decode: `complete` when the decoder succeeded and wrote
    // exactly `size` bytes; otherwise the buffer is dropped and the stream
    // reads as empty.
    void FinishDecode(bool complete);

    int32_t size = 0;
    uint8_t* buffer = nullptr;

  private:
    void FreeBuffer();

    uint8_t* cursor = nullptr;
    const bool decodedByAttach = false;
    bool awaitingDecode = false;
    Result status = Result::Fail();
};

}  // namespace vfs
