// A scan result read back from the JSON document trovalen-scan --format json writes (and the
// window saves), so that two results can be compared. The document comes from outside: every
// field is checked for its type, sizes are bounded, and a file that is not a result, or one of a
// newer layout, gets one message that says which.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trovalen {

struct TSavedReason {
    std::string Rights; // letters as the summary shows them
    uint32_t Mask = 0;
    std::string Family; // "file-system", "entry" or "attribute"
    std::string Why;
};

struct TSavedTrustee {
    std::string Class;
    std::string Name;
    std::string Attribute; // eDirectory results only
    std::string Family;
    std::string Rights;
    uint32_t Mask = 0;
    std::vector<std::string> Sources;
    std::vector<TSavedReason> Reasons;
};

struct TSavedEntry {
    std::string Name; // the path (file system) or the object (eDirectory)
    std::string Tree;
    std::string Server;
    std::string Volume;
    std::string Status; // "analysed", "not-found", "failed" or "not-scanned"
    bool Complete = false;
    std::vector<std::string> Incomplete;
    std::vector<std::string> Errors;
    std::vector<TSavedTrustee> Trustees;
};

// The options that change which trustees a result lists.
struct TSavedSettings {
    bool ResolveContainers = false;
    bool ScanSubdirs = false; // file-system results only
    bool OnlyUsers = false;
    std::string Exclude;
    std::string Include;
};

struct TSavedResult {
    int Format = 0;
    std::string Variant;
    std::string Version;
    std::string Date;   // as the report header shows it
    std::string Time;   // ISO 8601 in UTC; empty in results written before it was recorded
    std::string Source; // where the data came from; empty when not recorded
    bool Edir = false;
    TSavedSettings Settings;
    bool Complete = false;
    bool Cancelled = false;
    std::string Ended;
    std::vector<std::string> Notes;
    std::vector<TSavedEntry> Entries;
};

// Largest document read (a result of a few million trustee lines).
constexpr size_t kMaxResultFileBytes = size_t(1) << 30;

// Reads the document. On failure returns false and sets error to one line without the file's
// name: what is wrong and where ("entries[3].trustees[0].mask: not a number").
bool U_ParseScanResult(std::string_view text, TSavedResult& result, std::string& error);
// The file's text, checked to be a file of a result's size; error starts with the file's name.
bool U_ReadScanResultText(const std::string& fileName, std::string& text, std::string& error);
// Reads the file; error starts with the file's name.
bool U_ReadScanResultFile(const std::string& fileName, TSavedResult& result, std::string& error);

} // namespace trovalen
