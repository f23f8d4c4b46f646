// VfsString: the library's growable 8-bit string.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/string_view.h"

namespace vfs {

// A byte string that owns a heap block of capacity + 1 bytes. The text is
// always NUL-terminated at `length`. The block grows to the next multiple of
// 8 strictly above the length asked for and never shrinks. Comparisons are
// byte-wise; case is never changed.
class TARNVFS_API VfsString : public StringView {
  public:
    static constexpr uint32_t GROWTH_STEP = 8;

    VfsString();
    VfsString(const char* text);  // NOLINT: implicit, like a C string
    VfsString(const VfsString& other);
    VfsString(const StringView& view);  // NOLINT: implicit, like a copy
    VfsString& operator=(const VfsString& other);

    // Slot 0: replaces the text with printf-style output; the block is sized
    // from an estimate taken from the format and grown if that falls short.
    __attribute__((format(printf, 2, 3))) void Format(const char* format, ...) override;
    // Slot 1: sets the length, growing the block (and keeping the text up to
    // its first NUL) when n is beyond the capacity.
    void SetLength(uint32_t n) override;
    // Slot 2: takes a new block for n characters without copying or freeing
    // the old one. Only SetLength calls it.
    virtual void Allocate(uint32_t n);
    // Slot 3.
    virtual ~VfsString();
    // Slots 4 to 10.
    virtual void Assign(const char& ch);
    virtual void Assign(const char* text);
    virtual void Assign(const VfsString& other);
    virtual void AssignView(StringView view);
    virtual void Append(const char* text);
    virtual void Append(const char& ch);
    virtual void Append(const StringView& view);

    // Makes the length n and returns the text for writing.
    char* GetBuffer(uint32_t n);
    // Sets the length after a write through GetBuffer: -1 takes the written
    // text up to its first NUL (at most the capacity).
    void ReleaseBuffer(int32_t n = -1);

    bool operator==(const char* text) const;
    bool operator!=(const char* text) const { return !(*this == text); }
    // True when the string is more than one character or its single
    // character (NUL for an empty string) differs from ch.
    bool operator!=(const char& ch) const;

    // Searches return an index into the whole string, or -1.
    int32_t Find(char ch, uint32_t start = 0) const;
    int32_t Find(const char* text, uint32_t start = 0) const;
    // A start of -1 (or beyond the end) searches from the end.
    int32_t ReverseFind(const char* text, uint32_t start = UINT32_MAX) const;
    int32_t FindOneOf(const char* set, uint32_t start = 0) const;
    int32_t ReverseFindOneOf(const char* set, uint32_t start = UINT32_MAX) const;

    // Views of part of the text, valid until the string changes.
    StringView Left(uint32_t n) const;
    StringView Right(uint32_t n) const;
    StringView Mid(uint32_t start) const;
    StringView Mid(uint32_t start, uint32_t count) const;

    const char* c_str() const { return data; }

    // The capacity a block made for a length of n has.
    static uint32_t CapacityFor(uint32_t n) { return (n / GROWTH_STEP + 1) * GROWTH_STEP; }

    uint32_t growthStep = GROWTH_STEP;
};

}  // namespace vfs
