#pragma once

// The grid shows numbers the way the rest of the program writes them (the summary footers
// among others); the rules live with the table layer, which needs no widgets for them.
#include "store/number_text.h"

namespace views {

using store::generalNumberText;
using store::patternDecimals;
using store::patternNumberText;

} // namespace views
