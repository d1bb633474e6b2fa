// What a person chooses for a scan, the same in every front end: the entries, the three
// switches, the two name filters and how much the run tells. The window fills it from its
// controls, trovalen-scan from its command line; U_ScanRequest turns it into the request the
// scan session runs (the session adds its client, connection and contexts).
#pragma once

#include <string>
#include <vector>

#include "rights/ScanRun.h"

namespace trovalen {

struct TScanOptions {
    bool Edir = false;                // eDirectory scan type: the entries are object names
    std::vector<std::string> Entries; // start paths or object names, in order
    bool ResolveContainers = false;
    bool OnlyUsers = false;
    bool ScanSubDirs = false; // file-system scan type only
    std::string FilterExcl;
    std::string FilterIncl;
    bool DebugMode = false;   // troubleshooting lines go to the host
    bool ShowDetails = false; // the details switch is on
};

// The name of the variant that the "Version:" header line shows for a scan type.
std::string U_ScanVariantName(bool edir);

// The request for these options; the variant name follows the scan type.
TScanRequest U_ScanRequest(const TScanOptions& options);

} // namespace trovalen
