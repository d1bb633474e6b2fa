// The program's start, shared by both executables: command line, client, window, event loop.
#pragma once

#include "ui/MainForm.h"

namespace trovalen {

int RunProgram(int argc, char** argv, const TStartConfig& config);

} // namespace trovalen
