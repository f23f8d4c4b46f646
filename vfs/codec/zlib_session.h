// One deflate or inflate run of zlib over a scratch area, ended on scope exit.
#pragma once

#include <zlib.h>

#include "vfs/codec/zlib_scratch_area.h"

namespace vfs {

// The parameters of every zlib stream the codec writes.
inline constexpr int ZLIB_LEVEL = Z_DEFAULT_COMPRESSION;
inline constexpr int ZLIB_WINDOW_BITS = 15;
inline constexpr int ZLIB_MEMORY_LEVEL = 9;

// A deflate stream set up with the codec's parameters (default level,
// window bits 15, memory level 9, default strategy), its memory taken from
// `area`. `stream` is for the caller to drive.
class ZlibDeflateSession {
  public:
    explicit ZlibDeflateSession(ZlibScratchArea& area);
    ~ZlibDeflateSession();

    ZlibDeflateSession(const ZlibDeflateSession&) = delete;
    ZlibDeflateSession& operator=(const ZlibDeflateSession&) = delete;

    // False when deflate could not be set up (the area is too small, say).
    bool IsReady() const { return ready; }

    z_stream stream{};

  private:
    bool ready = false;
};

// An inflate stream for zlib data of the given window bits, its memory
// taken from `area`.
class ZlibInflateSession {
  public:
    ZlibInflateSession(ZlibScratchArea& area, int windowBits);
    ~ZlibInflateSession();

    ZlibInflateSession(const ZlibInflateSession&) = delete;
    ZlibInflateSession& operator=(const ZlibInflateSession&) = delete;

    bool IsReady() const { return ready; }

    z_stream stream{};

  private:
    bool ready = false;
};

}  // namespace vfs
