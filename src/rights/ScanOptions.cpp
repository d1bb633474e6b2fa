#include "rights/ScanOptions.h"

namespace trovalen {

NWCCODE U_ScanRequest(const TScanOptions& options, TScanSession& session, TScanRequest& request) {
    if (options.Edir && !options.Tree.empty())
        if (NWCCODE code = session.ChooseTree(options.Tree); code != NW_OK)
            return code;
    request.Edir = options.Edir;
    request.Entries.Clear();
    for (const std::string& entry : options.Entries)
        request.Entries.Add(entry);
    request.ResolveContainers = options.ResolveContainers;
    request.OnlyUsers = options.OnlyUsers;
    request.ScanSubDirs = options.ScanSubDirs;
    request.Recursive = options.Recursive;
    request.ChangesOnly = options.ChangesOnly;
    request.Trustee = options.Trustee;
    request.FilterExcl = options.FilterExcl;
    request.FilterIncl = options.FilterIncl;
    request.VariantName = options.VariantName;
    request.DebugMode = options.DebugMode;
    request.ShowDetails = options.ShowDetails;
    request.KeepDetails = options.KeepDetails;
    request.KeepRecords = options.KeepRecords;
    request.Source = options.Source;
    return NW_OK;
}

} // namespace trovalen
