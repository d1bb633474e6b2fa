// The window's side of the platform hooks: modal message boxes, the busy cursor, event
// processing inside long loops, and the clipboard.
#pragma once

#include "util/Platform.h"

namespace trovalen {

TUiHooks U_QtUiHooks();
// Installs the hooks above and the clipboard hooks.
void U_InstallQtHooks();

} // namespace trovalen
