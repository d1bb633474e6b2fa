#include "rights/EffectiveTrustees.h"

#include <map>
#include <memory>
#include <unistd.h>

#include "directory/DSContext.h"
#include "directory/DSFilter.h"
#include "directory/DSNames.h"
#include "attrinfo/AttrRead.h"
#include "directory/DSRead.h"
#include "model/RightsModel.h"
#include "settings/Ini.h"
#include "settings/IniFile.h"
#include "util/FileIO.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr char kSecEquSection[] = "Security Equals";
// A chain of containers deeper than this is taken to be a loop in the directory's answers.
constexpr int kMaxChainDepth = 512;

std::string& SecEquCacheFolder() {
    static std::string folder;
    return folder;
}

// The security-equivalence cache of one analysis: a settings-style file private to the running
// instance. Section "Security Equals" holds the number of objects found per trustee, a section
// named after the trustee the names found. Lookups are served from memory; each search reaches
// the file in one write, so a trustee with thousands of equivalents costs no more than one.
class TSecEquCache {
public:
    TSecEquCache() {
        std::string error;
        const std::string& folder = SecEquCacheFolder();
        std::string path = folder.empty()
                               ? U_CreatePrivateTempFile("trovalen-", ".cache", error)
                               : folder + "/trovalen-" + std::to_string(getpid()) + ".cache";
        if (!path.empty()) {
            FIni = std::make_unique<TIniFile>(path);
            FIni->SetDurable(false);
        }
    }
    ~TSecEquCache() {
        if (FIni) {
            std::string path = FIni->FileName();
            FIni.reset();
            unlink(path.c_str());
        }
    }
    TSecEquCache(const TSecEquCache&) = delete;
    TSecEquCache& operator=(const TSecEquCache&) = delete;

    // Null when the trustee has not been searched yet.
    const std::vector<std::string>* Find(const std::string& trustee) const {
        auto it = FNames.find(U_UpperCase(U_IniCleanName(trustee)));
        return it == FNames.end() ? nullptr : &it->second;
    }

    void Store(const std::string& trustee, const TStringList& found) {
        std::string section = U_IniCleanName(trustee);
        FNames[U_UpperCase(section)] = found.Strings();
        if (!FIni)
            return;
        try {
            std::vector<std::pair<std::string, std::string>> entries;
            for (int i = 0; i < found.Count(); ++i)
                entries.emplace_back(std::to_string(i), U_Quoted(found[i]));
            FIni->WriteSection(section, entries);
            FIni->WriteInteger(kSecEquSection, section, found.Count());
        } catch (const std::exception&) {
            // The file is a record of the searches; the analysis goes on from memory.
        }
    }

    void EraseAll() {
        FNames.clear();
        if (!FIni)
            return;
        try {
            FIni->EraseAllSections();
        } catch (const std::exception&) {
        }
    }

private:
    std::unique_ptr<TIniFile> FIni;
    // Section names as the file compares them: without brackets, ignoring case.
    std::map<std::string, std::vector<std::string>> FNames;
};

class TAnalysis {
public:
    TAnalysis(NWHandle ctx, const std::string& target, int threshold, TStatusPanel* statusBar,
              TStringList& trustees, TStringList* log, uint32_t flags)
        : FContext(ctx), FTarget(target), FThreshold(threshold), FStatus(statusBar),
          FTrustees(trustees), FLog(log), FFlags(flags), FEdir((flags & ET_EDIRECTORY) != 0) {
        FReasons.Sorted = true;
        FReasons.Duplicates = TStringList::TDuplicates::Ignore;
    }

    void Run() {
        Start();
        DirectoryPass();
        if (!FEdir)
            FileSystemPass();
        IndirectTrustees();
        FinalList();
        End();
    }

private:
    // --- Log, sources, reasons, trustees ------------------------------------------------------

    void LogLine(const std::string& text, int level, bool unique = false) {
        if (FLog == nullptr || FThreshold < level)
            return;
        if (unique && FLog->IndexOfExact(text) >= 0)
            return;
        FLog->Add(text, static_cast<uint32_t>(level));
    }

    void LogError(const std::string& text, NWCCODE code) {
        if (code == 0)
            return;
        LogLine(U_Format("%s: %s", text.c_str(), U_NWErrorText(code).c_str()), LVL_ERROR);
    }

    void UseSource(const std::string& text) {
        int i = FSources.IndexOf(text);
        if (i < 0)
            i = FSources.Add(text);
        FSource = i;
    }

    std::string CurrentSource() const {
        return FSource >= 0 && FSource < FSources.Count() ? FSources[FSource] : std::string();
    }

    void AddReason(const std::string& text, uint32_t mask, TRightsType family) {
        FReasons.Add(U_Format("%s|%s %s", text.c_str(), U_RightsToStr(mask, family).c_str(),
                              CurrentSource().c_str()));
    }

    void AddTrustee(const std::string& text, uint32_t listMask, uint32_t reasonMask,
                    TRightsType family) {
        FTrustees.Add(text, listMask);
        AddReason(text, reasonMask, family);
    }

    void SetTrusteeRights(int index, uint32_t mask, TRightsType family) {
        if (FEdir) {
            TACL acl = U_ParseACL(FTrustees[index]);
            FTrustees[index] = U_FormatACL(mask, acl.Subject, acl.AttrName);
        }
        FTrustees.SetValue(index, mask);
        AddReason(FTrustees[index], mask, family);
    }

    void Status(const std::string& text) {
        if (FStatus != nullptr)
            FStatus->SetStatusText(text);
    }

    std::string TrusteeName(int index) const {
        return FEdir ? U_ACLSubject(FTrustees[index]) : FTrustees[index];
    }

    // --- A. Start -----------------------------------------------------------------------------

    void Start() {
        FCache = std::make_unique<TSecEquCache>();
        std::string chainStart;
        if (FEdir) {
            LogLine("", 14);
            LogLine(U_Format("Object: \"%s\" on tree \"%s\"", FTarget.c_str(),
                             U_DSGetTreeName(FContext).c_str()),
                    13);
            chainStart = FTarget;
        } else {
            NWCCODE code = U_PathToNWPath(FTarget, FPath);
            LogError(U_Format("U_PathToNWPath (%s)", FTarget.c_str()), code);
            uint32_t volumeNumber = 0;
            std::string volumeDN, serverDN;
            if (NWClient() != nullptr &&
                NWClient()->VolumeNumber(FPath.ConnHandle, FPath.Volume, volumeNumber) == 0)
                U_NWGetVolumeDN(FContext, FPath.ConnHandle, volumeNumber, volumeDN);
            NWCCODE serverCode = U_DSGetServerDN(FPath.ConnHandle, FContext, serverDN);
            LogLine(U_Format("Tree/Volume/Server: %s / %s / %s", U_DSGetTreeName(FContext).c_str(),
                             volumeDN.c_str(), serverDN.c_str()),
                    13);
            LogError(U_Format("U_DSGetServerDN (%s)", FTarget.c_str()), serverCode);
            FFamily = rtFileSystem;
            chainStart = serverDN;
        }
        FOffset = 10;
        if (FEdir)
            FLeaf = U_DSIsLeaf(FContext, FTarget);
        if (chainStart.empty())
            return;
        FChain.Add(chainStart);
        std::string name = chainStart;
        for (int depth = 0; depth < kMaxChainDepth; ++depth) {
            std::string parent;
            U_DSGetParentDN(FContext, name, parent);
            if (parent.empty() || parent == name || FChain.IndexOfExact(parent) >= 0)
                break;
            FChain.Add(parent);
            name = parent;
        }
    }

    // --- B. Directory pass --------------------------------------------------------------------

    void DirectoryPass() {
        for (int level = FChain.Count() - 1; level >= 0; --level) {
            const std::string name = FChain[level];
            LogLine("", FOffset + 12);
            LogLine("DN: " + name, FOffset + 12);
            TStringList acls;
            FLastCode = U_DSGetAttribute(FContext, name, "ACL", acls);
            LogError(U_Format("U_DSGetAttribute (%s:ACL)", name.c_str()), FLastCode);
            if (FLastCode != 0)
                acls.Clear();
            // Directory names are text already; only names of the file server come as OEM.
            UseSource(U_Format("for direct Trustee assignment on \"%s\"", name.c_str()));

            if (FEdir) {
                // Rights assigned above without the inheritable flag end at their own level.
                for (int i = FTrustees.Count() - 1; i >= 0; --i) {
                    TACL t = U_ParseACL(FTrustees[i]);
                    if (!U_IsInheritable(t.Privileges, t.RightsType))
                        FTrustees.Delete(i);
                }
            }

            for (int a = 0; a < acls.Count(); ++a) {
                if (acls[a].find(kInheritanceMask) == std::string::npos)
                    continue;
                ApplyContainerIRM(U_ParseACL(acls[a]), acls[a]);
            }

            for (int a = 0; a < acls.Count(); ++a) {
                if (acls[a].find(kInheritanceMask) != std::string::npos)
                    continue;
                if (FEdir) {
                    TACL v = U_ParseACL(acls[a]);
                    std::string subject = U_DSDotName(v.Subject);
                    acls[a] = U_JoinACL(v.Rights, subject, v.AttrName);
                    FFamily = v.RightsType;
                    uint32_t implied = U_AddImpliedRights(v.Privileges, FFamily);
                    if (implied != v.Privileges)
                        acls[a] = U_FormatACL(implied, subject, v.AttrName);
                    AddTrustee(acls[a], implied, v.Privileges, FFamily);
                    LogLine("  Direct Trustee: " + acls[a], FOffset + 15);
                } else {
                    // On the way to a server only Supervisor entry rights count: they give
                    // every right of the file system.
                    const std::string& text = acls[a];
                    std::string letters = U_ACLRightsText(text);
                    if (text.find(kEntryRights) == std::string::npos ||
                        (letters.find('S') == std::string::npos &&
                         letters.find('A') == std::string::npos))
                        continue;
                    AddTrustee(U_ACLSubject(text), FS_ALL_RIGHTS, FS_ALL_RIGHTS, rtFileSystem);
                    LogLine("  Direct Trustee: " + text, FOffset + 15);
                }
            }
        }
        MergeTrustees();
    }

    void ApplyContainerIRM(const TACL& irm, const std::string& text) {
        if (FEdir) {
            LogLine(U_Format("IRM: [%s] on \"%s\"", irm.Rights.c_str(), irm.AttrName.c_str()),
                    FOffset + 18);
            for (int i = FTrustees.Count() - 1; i >= 0; --i) {
                TACL t = U_ParseACL(FTrustees[i]);
                if (!U_IRMCovers(irm, t))
                    continue;
                U_ApplyIRM(irm, t);
                if (!U_HasRights(U_DeleteChars(t.Rights, "I"))) {
                    FTrustees.Delete(i);
                    continue;
                }
                FTrustees[i] = U_JoinACL(t.Rights, t.Subject, t.AttrName);
                FTrustees.SetValue(i, U_StrToRights(t.Rights, t.RightsType));
            }
        } else {
            LogLine("IRM: " + U_HeadOf(text, "]", false), FOffset + 18);
            // An entry-rights IRM that stops Supervisor blocks what came from above.
            if (irm.AttrName == kEntryRights && irm.Rights.find('S') == std::string::npos &&
                irm.Rights.find('A') == std::string::npos)
                FTrustees.Clear();
        }
    }

    // --- C. Merging, D. raising by effective rights -------------------------------------------

    void MergeTrustees() {
        if (FEdir) {
            FTrustees.Sort([](const TStringItem& a, const TStringItem& b) {
                return U_CompareACL(a.Text, b.Text);
            });
            for (int i = FTrustees.Count() - 1; i >= 1; --i) {
                TACL later = U_ParseACL(FTrustees[i]);
                TACL earlier = U_ParseACL(FTrustees[i - 1]);
                if (later.Subject != earlier.Subject || later.AttrName != earlier.AttrName)
                    continue;
                uint32_t mask = later.Privileges | earlier.Privileges;
                FTrustees[i - 1] = U_FormatACL(mask, earlier.Subject, earlier.AttrName);
                FTrustees.SetValue(i - 1, mask);
                FTrustees.Delete(i);
            }
            RaiseByEffectiveRights();
        } else {
            FTrustees.Sort();
            for (int i = FTrustees.Count() - 1; i >= 1; --i) {
                for (int j = i - 1; j >= 0; --j) {
                    if (FTrustees[j] != FTrustees[i])
                        continue;
                    FTrustees.SetValue(j, FTrustees.Value(j) | FTrustees.Value(i));
                    FTrustees.Delete(i);
                    break;
                }
            }
        }
    }

    void RaiseByEffectiveRights() {
        bool remembered = false;
        std::string subject;
        uint32_t allAttrs = 0, entry = 0;
        std::string allAttrsText, entryText;
        for (int i = FTrustees.Count() - 1; i >= 0; --i) {
            TACL t = U_ParseACL(FTrustees[i]);
            if (t.Subject == kThis || t.AttrName == kEntryRights || t.AttrName == kInheritanceMask)
                continue;
            if (!remembered || t.Subject != subject) {
                U_DSEntryRights(FContext, t.Subject, FTarget, std::string(kAllAttributesRights),
                                allAttrsText, allAttrs);
                U_DSEntryRights(FContext, t.Subject, FTarget, std::string(kEntryRights), entryText,
                                entry);
                entry = (entry & DS_ENTRY_SUPERVISOR) ? DS_ATTR_ALL_RIGHTS : 0;
                subject = t.Subject;
                remembered = true;
            }
            if (entry == 0 && allAttrs == 0)
                continue;
            if (entry != 0) {
                uint32_t raised = (t.Privileges | entry) & ~DS_INHERIT_CTL;
                if (raised != t.Privileges) {
                    UseSource(U_Format("Effective %s rights on %s  ", entryText.c_str(),
                                       std::string(kEntryRights).c_str()));
                    SetTrusteeRights(i, raised, rtAttribute);
                    continue;
                }
            }
            if (allAttrs != 0) {
                uint32_t raised = (t.Privileges | allAttrs) & ~DS_INHERIT_CTL;
                if (raised != t.Privileges) {
                    UseSource(U_Format("Effective %s rights on %s  ", allAttrsText.c_str(),
                                       std::string(kAllAttributesRights).c_str()));
                    SetTrusteeRights(i, raised, rtAttribute);
                }
            }
        }
    }

    // --- E. File-system pass ------------------------------------------------------------------

    void FileSystemPass() {
        TStringList chain; // volume paths with their IRMs, from the target up to the volume root
        std::string path = U_WithoutTrailingSlash(U_PathToUNC(FTarget));
        while (!path.empty() && U_DirExists(U_OemToText(path))) {
            TNWPath level;
            if (U_PathToNWPath(path, level) == 0 && NWClient() != nullptr) {
                std::string volPath =
                    U_Format("%s:%s", level.Volume.c_str(), level.DirPath.c_str());
                TDirEntryInfo info;
                if (NWClient()->DirEntryInfo(level.ConnHandle, 0, volPath, info) == 0)
                    chain.Add(volPath, level.DirPath.empty() ? 0xFFFFFFFFu : info.RightsMask);
            }
            size_t cut = path.find_last_of('\\');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
        }
        if (chain.Empty())
            LogError(U_Format("Invalid Path (%s)", FTarget.c_str()), -1);

        for (int k = chain.Count() - 1; k >= 0; --k) {
            FOffset = k == 0 ? 0 : 10;
            U_ProcessMessages();
            const std::string volPath = U_OemToText(chain[k]);
            const uint32_t irm = chain.Value(k);
            const std::string irmText = U_RightsToStr(irm, rtFileSystem);
            UseSource(U_Format("IRM filter %s on path: %s  ", irmText.c_str(), volPath.c_str()));
            LogLine("", 31);
            LogLine(U_Format("Path: \"%s\" - IRM %s", volPath.c_str(), irmText.c_str()),
                    FOffset + 14);

            // Supervisor is never filtered by a directory's IRM.
            for (int i = FTrustees.Count() - 1; i >= 0; --i) {
                uint32_t mask = FTrustees.Value(i);
                if (mask & FS_SUPERVISOR)
                    continue;
                uint32_t filtered = mask & (irm | FS_SUPERVISOR);
                if (filtered != mask) {
                    LogLine(U_Format("  Apply Filter: %s -> %s", FTrustees[i].c_str(),
                                     U_RightsToStr(filtered, rtFileSystem).c_str()),
                            41);
                    SetTrusteeRights(i, filtered, rtFileSystem);
                }
                if (filtered == 0)
                    FTrustees.Delete(i);
            }
            MergeTrustees();

            TStringList direct;
            NWCCODE code = U_NWGetTrustees(FContext, FPath.ConnHandle, chain[k], direct);
            LogError(U_Format("U_NWGetTrustees (%s)", volPath.c_str()), code);
            UseSource(U_Format("for direct Trustee assignment on \"%s\"", volPath.c_str()));
            for (const auto& t : direct) {
                // An assignment on this directory replaces what came from above.
                FTrustees.Delete(FTrustees.IndexOf(t.Text));
                LogLine(U_Format("  Direct Trustee: %s %s", t.Text.c_str(),
                                 U_RightsToStr(t.Value, rtFileSystem).c_str()),
                        FOffset + 15);
                AddTrustee(t.Text, t.Value, t.Value, rtFileSystem);
            }
        }

        LogLine("", 41);
        for (int i = 0; i < FTrustees.Count(); ++i) {
            if (FTrustees.Value(i) & FS_SUPERVISOR)
                FTrustees.SetValue(i, FS_ALL_RIGHTS);
            LogLine(U_Format("  Recalc: %s: %s", FTrustees[i].c_str(),
                             U_RightsToStr(FTrustees.Value(i), rtFileSystem).c_str()),
                    41);
        }
    }

    // --- F. Indirect trustees, G. security equivalence, H. residence, I. only users -----------

    void IndirectTrustees() {
        LogLine("", 31);
        for (int i = FTrustees.Count() - 1; i >= 0; --i) {
            std::string name = TrusteeName(i);
            SecurityEquivalents(i, name);
            if (FFlags & ET_RESOLVE_CONTAINERS)
                Residents(i, name);
            Status(U_Format("Check indirect trustees: %s", name.c_str()));
        }
        U_ProcessMessages();
        if (FEdir && FLeaf) {
            // Nothing lies below a leaf: inheritable attribute rights lose the letter I there.
            for (int i = 0; i < FTrustees.Count(); ++i) {
                TACL t = U_ParseACL(FTrustees[i]);
                if (t.RightsType != rtAttribute || !(t.Privileges & DS_INHERIT_CTL))
                    continue;
                uint32_t mask = t.Privileges & ~DS_INHERIT_CTL;
                FTrustees[i] = U_FormatACL(mask, t.Subject, t.AttrName);
                FTrustees.SetValue(i, mask);
            }
        }
        MergeTrustees();
        if (FFlags & ET_ONLY_USERS)
            OnlyUsers();
        LogLine("", 31);
    }

    void SecurityEquivalents(int index, const std::string& trustee) {
        TACL current;
        if (FEdir) {
            current = U_ParseACL(FTrustees[index]);
            FFamily = current.RightsType;
        } else {
            FFamily = rtFileSystem;
        }
        const uint32_t mask = FTrustees.Value(index);
        U_ProcessMessages();

        std::vector<std::string> found;
        if (const auto* cached = FCache->Find(trustee)) {
            found = *cached;
        } else {
            // The equality search hands the name to the client as it is, so no character of
            // it can break the filter.
            TStringList list;
            FLastCode = U_DSSearchEqual(FContext, std::string(kRoot), "Security Equals", trustee,
                                        list, DS_SEARCH_SUBTREE);
            LogError(U_Format("U_DSFilteredSearch (%s)", trustee.c_str()), FLastCode);
            if (FLastCode != 0)
                return;
            FCache->Store(trustee, list);
            found = list.Strings();
        }
        if (found.empty())
            return;

        UseSource(U_Format("for SecEqu to \"%s\"", trustee.c_str()));
        for (const auto& name : found) {
            std::string object = U_DSDotName(name);
            std::string text = FEdir ? U_JoinACL(current.Rights, object, current.AttrName) : object;
            AddTrustee(text, mask, mask, FFamily);
            LogLine(U_Format("  Indirect Trustee: %s\t(SecEqu to \"%s\")", object.c_str(),
                             trustee.c_str()),
                    17, true);
        }
    }

    void Residents(int index, const std::string& trustee) {
        if (!U_DSIsContainer(FContext, trustee))
            return;
        TACL current;
        if (FEdir)
            current = U_ParseACL(FTrustees[index]);
        const uint32_t mask = FTrustees.Value(index);
        U_ProcessMessages();
        TStringList scratch;
        U_DSListTree(FContext, trustee, scratch, true, false, "", 2);
        if (scratch.Empty())
            return;
        UseSource(U_Format("for residence in \"%s\"", trustee.c_str()));
        for (const auto& item : scratch) {
            if (item.Text.empty())
                continue;
            std::string object = U_DSDotName(item.Text);
            std::string text = FEdir ? U_JoinACL(current.Rights, object, current.AttrName) : object;
            AddTrustee(text, mask, mask, FFamily);
            LogLine(U_Format("  Indirect Trustee: %s\t(Resides in \"%s\")", item.Text.c_str(),
                             trustee.c_str()),
                    16);
        }
    }

    void OnlyUsers() {
        for (int i = FTrustees.Count() - 1; i >= 0; --i) {
            std::string name = TrusteeName(i);
            if (U_IsSpecialName(name))
                continue;
            if ((FFlags & ET_RESOLVE_CONTAINERS) && U_DSIsContainer(FContext, name))
                continue;
            TStringList classes;
            NWCCODE code = U_DSGetAttribute(FContext, name, "Object Class", classes);
            if (code != 0 || classes.IndexOf("ndsLoginProperties") < 0)
                FTrustees.Delete(i);
        }
    }

    // --- J. Final list, K. checks, L. reasons, M. end -----------------------------------------

    void FinalList() {
        for (int i = 0; i < FTrustees.Count(); ++i) {
            if (FEdir) {
                TACL t = U_ParseACL(FTrustees[i]);
                std::string display = t.Subject + " / " + t.AttrName;
                std::string cls;
                U_DSGetBaseClass(FContext, t.Subject, cls);
                if (cls.empty())
                    cls = "n/a";
                Status(U_Format("Get effective rights: %s", display.c_str()));
                LogLine(U_Format("  Effective: %s -> [%s] %s",
                                 U_RightsToStr(t.Privileges, t.RightsType).c_str(), cls.c_str(),
                                 display.c_str()),
                        LVL_EFFECTIVE);
                Checks(t);
            } else {
                std::string cls;
                U_DSGetBaseClass(FContext, FTrustees[i], cls);
                Status(
                    U_Format("Get effective rights: [%s] %s", cls.c_str(), FTrustees[i].c_str()));
                LogLine(U_Format("  Effective: %s -> [%s] %s",
                                 U_RightsToStr(FTrustees.Value(i), rtFileSystem).c_str(),
                                 cls.c_str(), FTrustees[i].c_str()),
                        LVL_EFFECTIVE);
            }
            Reasons(FTrustees[i]);
        }
    }

    void Checks(const TACL& t) {
        std::string rendered = U_RightsToStr(t.Privileges, t.RightsType);
        std::string calculated = "[" + t.Rights + "]";
        if (rendered != calculated)
            LogLine(U_Format("  Check 1:     Calc s: [%s] - Calc i: %s", t.Rights.c_str(),
                             rendered.c_str()),
                    LVL_EFFECTIVE);
        std::string reported;
        uint32_t mask = 0;
        U_DSEntryRights(FContext, t.Subject, FTarget, t.AttrName, reported, mask);
        if (reported != "[n/a]" && !U_SameRightsLetters(reported, calculated))
            LogLine(U_Format("  Check 2:     Calc s: [%s] - Eff: %s", t.Rights.c_str(),
                             reported.c_str()),
                    LVL_EFFECTIVE);
    }

    void Reasons(const std::string& entry) {
        std::string key = FEdir ? U_TailOf(entry, "]", true) + "|" : entry + "|";
        for (const auto& reason : FReasons) {
            bool belongs = FEdir ? reason.Text.find(key, 1) != std::string::npos
                                 : U_StartsWith(reason.Text, key);
            if (belongs)
                LogLine("     * " + U_TailOf(reason.Text, "|", true), 31);
        }
    }

    void End() {
        Status("");
        U_ProcessMessages();
        FCache->EraseAll();
        U_ProcessMessages();
    }

    NWHandle FContext;
    std::string FTarget;
    int FThreshold;
    TStatusPanel* FStatus;
    TStringList& FTrustees;
    TStringList* FLog;
    uint32_t FFlags;
    bool FEdir;

    TNWPath FPath;
    TStringList FChain;
    TStringList FSources;
    TStringList FReasons;
    int FSource = -1;
    TRightsType FFamily = rtFileSystem;
    NWCCODE FLastCode = 0;
    int FOffset = 10;
    bool FLeaf = false;
    std::unique_ptr<TSecEquCache> FCache;
};

} // namespace

void U_SetSecEquCacheFolder(const std::string& folder) {
    SecEquCacheFolder() = folder;
}

void U_EffectiveTrustees(NWHandle ctx, const std::string& target, int threshold,
                         TStatusPanel* statusBar, TStringList& trustees, TStringList* log,
                         uint32_t flags) {
    TAnalysis(ctx, target, threshold, statusBar, trustees, log, flags).Run();
}

} // namespace trovalen
