// A tree file as the command-line tools see it: loaded (and so checked) the way the simulated
// client loads it, and described for a person: schema additions, trees with their objects,
// servers with their volumes and directories, connections and the failures it simulates.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "backend/sim/SimLoader.h"

namespace trovalen::convert {

// Loads a tree file (at most sim::kMaxTreeFileBytes); null with the one message in error when it
// cannot be used.
std::shared_ptr<sim::TSimWorld> U_LoadTreeFile(const std::string& fileName, std::string& error);
// Whether tree-file text loads as the client would load it; fileName only names it in error.
bool U_TreeTextLoads(const std::string& text, const std::string& fileName, std::string& error);
// What the tree file holds, one fact per line; summary leaves out objects and directories.
void U_DescribeTree(const sim::TSimWorld& world, bool summary, std::ostream& out);

} // namespace trovalen::convert
