#include "vfs/core/stream_ref.h"

namespace vfs {

StreamRef::~StreamRef() {
    Reset();
}

void StreamRef::Reset() {
    if (stream != nullptr) {
        stream->Release();
        stream = nullptr;
    }
}

int32_t StreamRef::Read(void* buffer, int32_t count) {
    return stream == nullptr ? -1 : stream->Read(buffer, count);
}

int32_t StreamRef::Write(const void* buffer, int32_t count) {
    return stream == nullptr ? -1 : stream->Write(buffer, count);
}

int32_t StreamRef::Seek(int32_t offset, int32_t origin) {
    return stream == nullptr ? -1 : stream->Seek(offset, origin);
}

int32_t StreamRef::GetSize() {
    return stream == nullptr ? -1 : stream->GetSize();
}

int32_t StreamRef::Tell() {
    return stream == nullptr ? -1 : stream->Tell();
}

int64_t StreamRef::Seek64(int64_t offset, int32_t origin) {
    return stream == nullptr ? -1 : stream->Seek64(offset, origin);
}

int64_t StreamRef::GetSize64() {
    return stream == nullptr ? -1 : stream->GetSize64();
}

int64_t StreamRef::Tell64() {
    return stream == nullptr ? -1 : stream->Tell64();
}

const void* StreamRef::Map() {
    return stream == nullptr ? nullptr : stream->Map(0, 0);
}

Result StreamRef::Flush() {
    return stream == nullptr ? Result::Fail() : stream->Flush();
}

void StreamRef::Set(Stream* newStream) {
    if (newStream == nullptr) {
        return;
    }
    newStream->AddRef();
    if (stream != nullptr) {
        newStream->Attach(stream);
    }
    stream = newStream;
}

}  // namespace vfs
