#include "rights/ScanOptions.h"

namespace trovalen {

std::string U_ScanVariantName(bool edir) {
    return edir ? "Trovalen.edir" : "Trovalen.file";
}

TScanRequest U_ScanRequest(const TScanOptions& options) {
    TScanRequest request;
    request.Edir = options.Edir;
    for (const auto& entry : options.Entries)
        request.Entries.Add(entry);
    request.ResolveContainers = options.ResolveContainers;
    request.OnlyUsers = options.OnlyUsers;
    request.ScanSubDirs = options.ScanSubDirs;
    request.FilterExcl = options.FilterExcl;
    request.FilterIncl = options.FilterIncl;
    request.VariantName = U_ScanVariantName(options.Edir);
    request.DebugMode = options.DebugMode;
    request.ShowDetails = options.ShowDetails;
    return request;
}

} // namespace trovalen
