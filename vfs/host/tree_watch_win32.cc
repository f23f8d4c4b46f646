#include "vfs/host/tree_watch.h"

namespace vfs::host {

std::unique_ptr<TreeWatch> TreeWatch::Start() {
    return nullptr;
}

}  // namespace vfs::host
