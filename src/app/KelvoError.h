#pragma once
// Kept for code on other branches that still includes the old path; the header lives in base/.
#include "base/KelvoError.h"
