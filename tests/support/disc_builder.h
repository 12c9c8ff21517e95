// The disc builder the sample disc is made with, for the tests.
#pragma once

#include "discs/disc_builder.h"

namespace tolvane::testing {
using namespace tolvane::discs;
}  // namespace tolvane::testing
