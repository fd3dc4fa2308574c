#pragma once
// Kept for code on other branches that still includes the old path; the kernels live beside
// the raster.
#include "image/QuarterTurns.h"
