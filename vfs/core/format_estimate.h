// The size estimate VfsString::Format takes from a format before formatting.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace vfs {

// Walks `format` and its arguments the way the formatter will and returns an
// estimate of the formatted length: exact for plain text and strings, 32 for
// an integer, 128 for a floating-point number, widened by width and precision.
// It can fall short for some conversions; callers must still bound the
// formatter. Consumes `args`.
uint32_t EstimateFormattedLength(const char* format, va_list args);

}  // namespace vfs
