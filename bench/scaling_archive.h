// Archives of many small entries, for the scaling measurements.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// The path of entry `index` of an archive of `entries` entries: flat ones
// keep every entry in one directory ("flat\f0000123.dat"); nested ones put
// 100 entries in each directory, 100 directories in each parent
// ("n12\n34\f0000123.dat").
std::string ScalingEntryPath(uint32_t index, bool nested);

// Writes an archive (version 2, names in a table) of `entries` stored
// entries of 16-80 bytes each to `path`. With `changed` > 0, that many
// entries, spread evenly, hold other bytes of the same size, so the archive
// differs from the one without in their content alone. False if it cannot
// be written.
bool WriteScalingArchive(const std::string& path, uint32_t entries, bool nested,
                         uint32_t changed = 0);

}  // namespace bench
