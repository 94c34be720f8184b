// Editing operations on the current picture and the single-level undo snapshot.
//
// Every operation works on the view's ImageBuffer. Operations that change pixels clear
// ViewerState::vectorSource so a later zoom scales these pixels instead of re-rendering the
// SVG file. Functions returning bool report whether the view should refresh; allocation
// failures are silent and leave the picture unchanged.
#pragma once

#include "ops/colour.h"
#include "ops/display_scale.h"
#include "ops/filters.h"
#include "ops/pixel_rect.h"
#include "ops/resample.h"
#include "ops/shapes.h"
#include "ops/transforms.h"
#include "ops/transparency.h"
#include "ops/undo.h"
