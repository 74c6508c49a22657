#pragma once

namespace app {

// Makes the program's pictures (icons, splash) available under ":/kvel". They live in this
// static library, so the linker keeps them only when someone asks for them; every window
// that shows one calls this first. Cheap after the first call.
void loadResources();

} // namespace app
