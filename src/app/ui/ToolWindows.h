#pragma once
// Kept for code on other branches that still includes the old path; each tool window now lives
// with the subsystem it serves.
#include "browse/ui/DirSelForm.h"
#include "hotspot/ui/BrennForm.h"
#include "tone/ui/GraphForm.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"
