#pragma once
// Kept for tests on other branches that still include the old path.
#include "support/ui/MainWindowFixture.h"
