// Sample data for the benchmarks: an image prefix as a disc holds it and logos
// that differ from each other.
#pragma once

#include "logo/disc/image_layout.h"

namespace tolvane::bench {

// A raw Mode 2 prefix whose 12 logo sectors are Form 1 with valid EDC/ECC.
ImagePrefix validPrefix();

// A logo whose every row and column differ; each seed gives another one.
LogoImage sampleLogo(unsigned seed);

}  // namespace tolvane::bench
