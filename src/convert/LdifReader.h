// LDIF content records (RFC 2849) as ldapsearch and the export write them: a `version:` line,
// `#` comments, folded lines, `attr: value` and `attr:: base64` values, attribute options, blank
// lines between records. Change records are skipped with a note; values named by a URL
// (`attr:< file:...`) are refused, never fetched. Pure logic: the caller reads the file.
//
// The text is untrusted: every fault ends reading with one message that names the line. A text
// that seems to lack part of what was written (it ends inside a line, before the closing lines
// that ldapsearch's first lines promise, or with another count of entries than its
// `# numEntries:` line) is read as far as it goes, and Gaps() says what is missing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trovalen::convert {

// One value of a record.
struct TLdifValue {
    std::string Attr;    // the attribute type as written, without options
    std::string Options; // the options without the leading `;` (`binary`, `lang-de`), or empty
    std::string Value;   // the value's bytes (base64 decoded)
    bool Base64 = false; // written as `attr:: ...`
    size_t Line = 0;     // the line the value begins on (1-based)
};

struct TLdifRecord {
    std::string Dn; // as written (base64 decoded); empty for the root DSE
    size_t Line = 0;
    std::vector<TLdifValue> Values;

    // The values of one attribute type (case ignored, options ignored).
    std::vector<const TLdifValue*> Find(std::string_view attr) const;
};

// Reads the records of an LDIF text one after the other. The text must outlive the reader.
class TLdifReader {
public:
    explicit TLdifReader(std::string_view text);

    // The next content record: true with the record, false at the end of the text or on a fault
    // (then Error() is not empty, and every later call answers false).
    bool Next(TLdifRecord& record);
    const std::string& Error() const { return FError; }
    // Notes about what was skipped (change records), one line each, taken by the caller.
    std::vector<std::string>& Notes() { return FNotes; }
    // What the text lacks of what was written, one line each with its line number: a value or
    // record left out because the text ends inside its line (it may be cut short), a search that
    // ended early, closing lines or entries that are missing. Complete once Next answered false
    // without an error; taken by the caller.
    std::vector<std::string>& Gaps() { return FGaps; }

private:
    // One logical line: the physical lines of a folded line joined. FLineCut tells whether the
    // text ended inside it, without a line end.
    bool NextLine(std::string& line, size_t& number, bool& blank);
    // ldapsearch's comments that say what the text should hold.
    void TakeComment(std::string_view comment, size_t number);
    // The checks of the whole text, once it is read.
    void Finish();
    void Gap(size_t line, const std::string& what);
    bool Fail(size_t line, const std::string& what);

    std::string_view FText;
    size_t FPos = 0;
    size_t FLineNo = 0;
    bool FFirst = true;
    bool FLineCut = false;
    std::string FError;
    std::vector<std::string> FNotes;
    std::vector<std::string> FGaps;
    size_t FEntries = 0;    // content records, and records left out because they are cut
    size_t FCountLine = 0;  // the line of `# numEntries: N`, 0 when there is none
    size_t FCount = 0;      // its N
    bool FExtended = false; // begins as ldapsearch's extended LDIF, which has closing lines
    bool FClosed = false;   // the closing `search:` record was read
    bool FFinished = false;
};

// Decodes base64 (RFC 4648, padding required where the length asks for it); false when the text
// holds anything else.
bool DecodeBase64(std::string_view text, std::string& out);

} // namespace trovalen::convert
