// Light or dark, and reduce motion: the two environment settings every view of
// the window follows.
#pragma once

#include "Settings.hpp"

namespace virirado::Appearance {

// VIRIRADO_APPEARANCE ("light" or "dark") when set, else the desktop palette's
// window colour: dark when it is closer to black than to white.
bool initialDark();

// VIRIRADO_REDUCE_MOTION ("1"/"true" on, "0"/"false" off) over the stored
// "reduceMotion" setting, which is off when absent.
bool reduceMotion(const KeyValueStore& settings);

// The stock widgets (text fields, check boxes, menus, scroll bars) in the
// scheme's colours, drawn by one style whatever the desktop's.
void applyToApplication(bool dark);

}  // namespace virirado::Appearance
