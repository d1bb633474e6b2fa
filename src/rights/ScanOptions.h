// The scan as a front end asks for it: what the window's controls and trovalen-scan's options
// both say (scan type, entries, the three switches, the two name filters, ...). U_ScanRequest
// turns it, with the session, into the scan run's request, so that both front ends ask for a
// scan the same way.
#pragma once

#include <string>
#include <vector>

#include "model/NWClient.h"
#include "rights/ScanRun.h"
#include "rights/ScanSession.h"

namespace trovalen {

struct TScanOptions {
    bool Edir = false;                // eDirectory scan type: the entries are object names
    std::vector<std::string> Entries; // start paths (UNC) or object names, in list order
    bool ResolveContainers = false;
    bool OnlyUsers = false;
    bool ScanSubDirs = false; // file-system scan type only
    // Each entry and everything below it at any depth (TScanRequest::Recursive); with
    // ChangesOnly only where rights differ from the entry above.
    bool Recursive = false;
    bool ChangesOnly = false;
    // A reverse query: what this trustee can reach below each entry (TScanRequest::Trustee).
    std::string Trustee;
    std::string FilterExcl;
    std::string FilterIncl;
    std::string VariantName;  // shown in the "Version:" header line
    bool DebugMode = false;   // troubleshooting lines go to the host
    bool ShowDetails = false; // the details switch is checked
    bool KeepDetails = true;  // the details pane is filled (TScanRequest::KeepDetails)
    bool KeepRecords = true;  // the entries keep their trustee records (TScanRequest::KeepRecords)
    std::string Source;       // where the data comes from, in words; empty: not said
    // eDirectory scan type: the tree to scan in, chosen in the session first; empty: the
    // session's current tree (the one the window chose).
    std::string Tree;
};

// Fills request from options and the session: chooses the tree options name (eDirectory scan
// type), then sets the request's fields. A tree that cannot be used answers its code, and the
// request is left as it was; NW_OK otherwise. What only one front end has (attribute columns,
// the cache, the stop flag) it sets on the request itself; the session fills the connection
// and contexts when it scans.
NWCCODE U_ScanRequest(const TScanOptions& options, TScanSession& session, TScanRequest& request);

} // namespace trovalen
