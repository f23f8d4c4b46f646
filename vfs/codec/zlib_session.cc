#include "vfs/codec/zlib_session.h"

namespace vfs {

namespace {

void UseArea(z_stream& stream, ZlibScratchArea& area) {
    stream.zalloc = ZlibScratchArea::Allocate;
    stream.zfree = ZlibScratchArea::Free;
    stream.opaque = &area;
}

}  // namespace

ZlibDeflateSession::ZlibDeflateSession(ZlibScratchArea& area) {
    if (!area.IsValid()) {
        return;
    }
    UseArea(stream, area);
    ready = deflateInit2(&stream, ZLIB_LEVEL, Z_DEFLATED, ZLIB_WINDOW_BITS, ZLIB_MEMORY_LEVEL,
                         Z_DEFAULT_STRATEGY) == Z_OK;
}

ZlibDeflateSession::~ZlibDeflateSession() {
    if (ready) {
        deflateEnd(&stream);
    }
}

ZlibInflateSession::ZlibInflateSession(ZlibScratchArea& area, int windowBits) {
    if (!area.IsValid()) {
        return;
    }
    UseArea(stream, area);
    ready = inflateInit2(&stream, windowBits) == Z_OK;
}

ZlibInflateSession::~ZlibInflateSession() {
    if (ready) {
        inflateEnd(&stream);
    }
}

}  // namespace vfs
