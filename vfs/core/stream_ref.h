// StreamRef: the counted handle through which callers hold a stream stack.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/result.h"
#include "vfs/core/stream.h"

namespace vfs {

// Holds the top of a stream stack and owns one reference to it. Like the
// stream it holds, a handle serves one thread at a time. Every
// forwarder on an empty handle fails quietly (-1, null or Result -1).
class TARNVFS_API StreamRef {
  public:
    StreamRef() = default;
    StreamRef(const StreamRef&) = delete;
    StreamRef& operator=(const StreamRef&) = delete;

    // Slot 0.
    virtual ~StreamRef();
    // Slot 1: releases the held stream (and so the stack beneath it).
    virtual void Reset();
    // Slots 2 to 8: forward to the held stream.
    virtual int32_t Read(void* buffer, int32_t count);
    virtual int32_t Write(const void* buffer, int32_t count);
    virtual int32_t Seek(int32_t offset, int32_t origin);
    virtual int32_t GetSize();
    virtual int32_t Tell();
    // The whole data, mapped read-only (Map(0, 0) of the held stream).
    virtual const void* Map();
    virtual Result Flush();

    // The 64-bit position slots of the held stream (not slots of the handle).
    int64_t Seek64(int64_t offset, int32_t origin);
    int64_t GetSize64();
    int64_t Tell64();

    Stream* Get() const { return stream; }
    // Sets `newStream` into the handle. A handle that already holds a stream
    // stacks that stream beneath the new one, handing its reference over.
    // A null stream leaves the handle as it was.
    void Set(Stream* newStream);

  protected:
    Stream* stream = nullptr;
};

}  // namespace vfs
