// The summary of one scanned entry: its header lines, one "Effective Trustee:" line per effective
// trustee that passes the name filters, optionally an attribute line per trustee, its error
// lines, and "No trustees detected" when no analysis reached it.
#pragma once

#include <string>
#include <vector>

#include "model/NWClient.h"
#include "rights/AnalysisResult.h"
#include "util/StringList.h"

namespace trovalen {

class TCache;
class TIniFile;

// The "Attributes" section of the program-side settings file.
struct TAttributeSettings {
    int Count = 0;                     // slots 1..Count, at most 20
    std::string Format;                // template, "#TAB" and "#CRLF" already replaced
    std::vector<std::string> Names;    // slot n at index n - 1
    std::vector<std::string> Defaults; // slot n at index n - 1
};

constexpr int kMaxAttrSlots = 20;

// Reads the table when attrColumns is set and the file has the section; otherwise an empty one.
TAttributeSettings LoadAttributeSettings(const TIniFile* programIni, bool attrColumns);

struct TReportSettings {
    bool Edir = false;        // eDirectory scan type (else file system)
    std::string FilterExcl;   // trustees whose name holds this text are left out
    std::string FilterIncl;   // only trustees whose name holds this text are kept
    bool AttrColumns = false; // write the attribute line of each trustee
    const TAttributeSettings* Attributes = nullptr;
    TCache* Cache = nullptr;     // attribute lines already built in this run of the program
    TNWClient* Client = nullptr; // client for attribute reads
    NWHandle Context = 0;        // context for attribute reads
};

// Whether the summary lists a trustee of this name: the name filters leave it in.
bool U_PassesNameFilters(const std::string& name, const TReportSettings& settings);
// Whether the summary lists the trustee record.
bool U_ReportListsTrustee(const TEffectiveTrustee& trustee, const TReportSettings& settings);
// The summary's "Effective Trustee:" line for a log's "  Effective:" line (before any name filter).
std::string U_SummaryTrusteeLine(const std::string& effectiveLine, bool edir);

// The summary of one entry: the header, error and start lines of its log, then one line per
// trustee record (and its attribute line). The log's "  Effective:" lines are not read.
TStringList BuildReport(const TStringList& log, const TAnalysisResult& analysis,
                        const TReportSettings& settings);

} // namespace trovalen
