#include "tools/diff/tree_comparison.h"

#include <cstdint>
#include <vector>

#include "vfs/host/content_hash.h"

namespace tarnwad::cli {

const char* ChangeName(Change change) {
    switch (change) {
        case Change::kAdded:
            return "added";
        case Change::kRemoved:
            return "removed";
        case Change::kContent:
            return "content";
        case Change::kCoding:
            return "coding";
        case Change::kFlags:
            return "flags";
        case Change::kPlace:
            break;
    }
    return "place";
}

namespace {

class PairComparer {
  public:
    PairComparer(ComparedTree& first, ComparedTree& second, Comparison& out)
        : first(first), second(second), out(out), buffer(kVerifyBlockSize) {}

    void Compare(const ComparedEntry& a, const ComparedEntry& b) {
        ++out.compared;
        const std::string whyA = first.Check(a);
        const std::string whyB = second.Check(b);
        if (!whyA.empty() || !whyB.empty()) {
            if (!whyA.empty()) {
                Trouble(first, a, whyA);
            }
            if (!whyB.empty()) {
                Trouble(second, b, whyB);
            }
            return;
        }
        const bool records = !first.IsFolder() && !second.IsFolder();
        // Same flags: equal stored bytes are equal content (for coded
        // entries, decoded to the same size). A stored entry's content is
        // its stored bytes, whatever size its record gives.
        const bool stored = vfs::WadCodingOf(a.record.flags) == vfs::WadCoding::STORED;
        if (records && a.record.flags == b.record.flags &&
            (stored || a.record.unpackedSize == b.record.unpackedSize)) {
            std::string side;
            std::string why;
            const bool same = first.SameStoredBytes(a, second, b, &side, &why);
            if (!why.empty()) {
                out.troubles.push_back({side, (side == first.Name() ? a : b).path, why});
                return;
            }
            if (same && a.record.dataOffset != b.record.dataOffset) {
                out.differences.push_back({Change::kPlace, &a, &b});
            } else if (!same && stored) {
                out.differences.push_back({Change::kContent, &a, &b});
            }
            if (same || stored) {
                return;
            }
        }
        vfs::host::Sha256Digest digestA;
        vfs::host::Sha256Digest digestB;
        // Both read, so that each side's trouble is named.
        const bool readA = Digest(first, a, &digestA);
        const bool readB = Digest(second, b, &digestB);
        if (!readA || !readB) {
            return;
        }
        if (digestA != digestB) {
            out.differences.push_back({Change::kContent, &a, &b});
        } else if (!records) {
            return;
        } else if (vfs::WadCodingOf(a.record.flags) != vfs::WadCodingOf(b.record.flags)) {
            out.differences.push_back({Change::kCoding, &a, &b});
        } else if (a.record.flags != b.record.flags) {
            out.differences.push_back({Change::kFlags, &a, &b});
        } else {
            // Same coding, other stored bytes (another level, say).
            out.differences.push_back({Change::kCoding, &a, &b});
        }
    }

  private:
    void Trouble(const ComparedTree& side, const ComparedEntry& entry, const std::string& why) {
        out.troubles.push_back({side.Name(), entry.path, why});
    }

    // The content's digest, or false with the trouble noted.
    bool Digest(ComparedTree& side, const ComparedEntry& entry, vfs::host::Sha256Digest* digest) {
        EntryCheck check = side.Digest(entry, buffer, hash);
        if (!check.hashed) {
            Trouble(side, entry, check.text);
            return false;
        }
        *digest = check.digest;
        return true;
    }

    ComparedTree& first;
    ComparedTree& second;
    Comparison& out;
    std::vector<uint8_t> buffer;
    vfs::host::ContentHash hash;
};

}  // namespace

Comparison CompareTrees(ComparedTree& first, ComparedTree& second) {
    Comparison comparison;
    PairComparer comparer(first, second, comparison);
    for (const ComparedEntry& a : first.Entries()) {
        if (const ComparedEntry* b = second.Find(a.key); b != nullptr) {
            comparer.Compare(a, *b);
        } else {
            comparison.differences.push_back({Change::kRemoved, &a, nullptr});
        }
    }
    for (const ComparedEntry& b : second.Entries()) {
        if (first.Find(b.key) == nullptr) {
            comparison.differences.push_back({Change::kAdded, nullptr, &b});
        }
    }
    return comparison;
}

}  // namespace tarnwad::cli
