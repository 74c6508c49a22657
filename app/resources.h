#pragma once

#include <QIcon>

namespace app {

// Makes the program's pictures (icons, splash) available under ":/kvel". They live in this
// static library, so the linker keeps them only when someone asks for them; every window
// that shows one calls this first. Cheap after the first call.
void loadResources();

// One of the program's icons ("new", "kvel", ...) in every size it is drawn in, so that menus,
// the tool bar and dense screens each take the size that fits. Loads the resources.
QIcon programIcon(const char* name);

} // namespace app
