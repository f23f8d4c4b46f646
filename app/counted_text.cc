#include "app/counted_text.h"

namespace tarnwad {

std::string Counted(uint64_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace tarnwad
