// How the tool takes host paths from its command line.
#pragma once

#include "app/absolute_path.h"

namespace tarnwad::cli {

using tarnwad::AbsolutePath;

}  // namespace tarnwad::cli
