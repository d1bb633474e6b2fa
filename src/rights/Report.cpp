#include "rights/Report.h"

#include "attrinfo/AttrRead.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/EffectiveTrustees.h"
#include "settings/Cache.h"
#include "settings/Ini.h"
#include "settings/IniFile.h"
#include "util/Util.h"

namespace trovalen {

namespace {

std::string SlotKey(const char* prefix, int n) {
    return U_Format("%s_%.02d", prefix, n);
}

// The fields of one trustee's summary line.
struct TEffectiveFields {
    std::string Rights, Class, Name, Attribute;
};

TEffectiveFields FieldsOf(const TEffectiveTrustee& trustee) {
    TEffectiveFields f;
    std::string rights = U_TrusteeRights(trustee);
    f.Rights = rights.substr(1, rights.size() - 2); // without the brackets
    f.Class = trustee.ClassName;
    f.Name = U_TrusteeDisplayName(trustee);
    f.Attribute = trustee.Attribute;
    return f;
}

// The fields of an "  Effective:" line. Each step cuts at the first occurrence of its delimiter
// and leaves the text alone when the delimiter is missing.
TEffectiveFields ParseEffectiveLine(const std::string& line) {
    TEffectiveFields f;
    f.Rights = U_TailOf(U_HeadOf(line, "]", true), "[", true);
    f.Class = U_TailOf(U_HeadOf(U_TailOf(line, "->", true), "]", true), "[", true);
    f.Name = U_TailOf(U_TailOf(U_HeadOf(line, " / ", true), "->", true), "] ", true);
    if (!U_StartsWith(f.Name, "["))
        f.Name = U_DSDotName(f.Name);
    f.Attribute = U_HeadOf(U_TailOf(U_TailOf(line, " / ", true), "\"", true), "\"", true);
    return f;
}

std::string TrusteeLine(const TEffectiveFields& f, bool edir) {
    // Joined by hand: a summary of a whole tree has millions of these lines.
    std::string line;
    line.reserve(32 + f.Class.size() + f.Rights.size() + f.Name.size() + f.Attribute.size());
    line.append("Effective Trustee:\t").append(f.Class).append("\t[").append(f.Rights);
    line.append("]\t").append(f.Name);
    if (edir)
        line.append("\t").append(f.Attribute);
    return line;
}

std::string AttributeLine(const TEffectiveFields& f, const TReportSettings& settings) {
    const TAttributeSettings& table = *settings.Attributes;
    std::string key = "Attr - " + f.Class;
    std::string line = settings.Cache ? settings.Cache->ReadValue(key, f.Name) : std::string();
    if (line.empty()) {
        line = table.Format;
        int count =
            std::min<int>({table.Count, kMaxAttrSlots, static_cast<int>(table.Names.size())});
        for (int n = 1; n <= count; ++n) {
            const std::string& attr = table.Names[n - 1];
            std::string placeholder = U_Format("#%s_%.02d", "Attr", n);
            if (attr.empty() || line.find(placeholder) == std::string::npos)
                continue;
            std::string text;
            std::string value;
            if (U_DSGetAttributeText(settings.Client, settings.Context, f.Name, attr, text) == 0)
                value = U_ReplaceStr(text, "\r\n", ";", true, true);
            else
                value = n - 1 < static_cast<int>(table.Defaults.size()) ? table.Defaults[n - 1]
                                                                        : std::string();
            line = U_ReplaceStr(line, placeholder, value, true, true);
        }
        if (settings.Cache)
            settings.Cache->WriteValue(key, f.Name, U_Quoted(line));
    }
    return U_TrimBlank(line);
}

// The trustee's summary line, and its attribute line when asked for, unless a name filter
// leaves the trustee out.
void AddTrusteeLines(TStringList& report, const TEffectiveFields& f,
                     const TReportSettings& settings) {
    if (!U_PassesNameFilters(f.Name, settings))
        return;
    report.Add(TrusteeLine(f, settings.Edir));
    if (settings.AttrColumns && settings.Attributes != nullptr && !f.Name.empty() &&
        !settings.Attributes->Format.empty()) {
        std::string attrLine = AttributeLine(f, settings);
        if (!attrLine.empty()) {
            report.Add(attrLine);
            report.Add("");
        }
    }
}

// Whether the log has an entry's header (started) and whether its analysis ran (analysed).
void Progress(const TStringList& log, bool& started, bool& analysed) {
    started = analysed = false;
    for (const auto& line : log) {
        started = started || line.Value == LVL_HEADER || line.Value == LVL_START;
        analysed = analysed || line.Value == LVL_START;
    }
}

// The log's lines that the summary keeps: header and error lines, a blank line where the
// analysis starts.
void AddLogLines(TStringList& report, const TStringList& log) {
    for (const auto& line : log) {
        if (line.Value == LVL_HEADER || line.Value == LVL_RESULT_ERROR)
            report.Add(line.Text);
        else if (line.Value == LVL_START)
            report.Add("");
    }
}

} // namespace

bool U_PassesNameFilters(const std::string& name, const TReportSettings& settings) {
    if (!settings.FilterExcl.empty() && U_PosCI(settings.FilterExcl, name) > 0)
        return false;
    return settings.FilterIncl.empty() || U_PosCI(settings.FilterIncl, name) > 0;
}

bool U_ReportListsTrustee(const TEffectiveTrustee& trustee, const TReportSettings& settings) {
    if (settings.FilterExcl.empty() && settings.FilterIncl.empty())
        return true;
    return U_PassesNameFilters(U_TrusteeDisplayName(trustee), settings);
}

std::string U_SummaryTrusteeLine(const std::string& effectiveLine, bool edir) {
    return TrusteeLine(ParseEffectiveLine(effectiveLine), edir);
}

TAttributeSettings LoadAttributeSettings(const TIniFile* programIni, bool attrColumns) {
    TAttributeSettings table;
    if (!attrColumns || programIni == nullptr || !programIni->SectionExists("Attributes"))
        return table;
    const std::string section = "Attributes";
    // Only twenty slots exist; a larger count reads those twenty.
    table.Count = std::clamp(U_IniReadInt(*programIni, section, "AttrCount", 0), 0, kMaxAttrSlots);
    table.Format = U_IniReadText(*programIni, section, "AttrFormat", "");
    table.Format = U_ReplaceStr(table.Format, "#TAB", "\t", true, true);
    table.Format = U_ReplaceStr(table.Format, "#CRLF", "\r\n", true, true);
    for (int n = 1; n <= table.Count; ++n)
        table.Names.push_back(U_IniReadText(*programIni, section, SlotKey("Attr", n), ""));
    for (int n = 1; n <= table.Count; ++n)
        table.Defaults.push_back(
            U_IniReadText(*programIni, section, SlotKey("AttrDefault", n), ""));
    return table;
}

TStringList BuildReport(const TStringList& log, const TAnalysisResult& analysis,
                        const TReportSettings& settings) {
    bool started = false, analysed = false;
    Progress(log, started, analysed);
    TStringList report;
    if (started) {
        // The analysis writes its trustees after every line the summary takes from the log.
        AddLogLines(report, log);
        for (const auto& trustee : analysis.Trustees)
            AddTrusteeLines(report, FieldsOf(trustee), settings);
        if (!analysed)
            report.Add("No trustees detected");
    }
    report.Add("");
    report.Add("");
    return report;
}

} // namespace trovalen
