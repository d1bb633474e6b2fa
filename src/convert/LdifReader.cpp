#include "convert/LdifReader.h"

#include <algorithm>
#include <cctype>

#include "util/Util.h"

namespace trovalen::convert {

namespace {

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// An attribute type or option: letters, digits, `-`, `.` (numeric OIDs) and `_`.
bool IsTypeChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u < 0x80 && std::isalnum(u) != 0) || c == '-' || c == '.' || c == '_';
}

// The start of a line as it may stand in a message: printable ASCII only, cut short.
std::string Shown(std::string_view text) {
    constexpr size_t kShown = 40;
    std::string out;
    for (char c : text.substr(0, kShown)) {
        unsigned char u = static_cast<unsigned char>(c);
        out += u >= 0x20 && u < 0x7F ? c : '?';
    }
    if (text.size() > kShown)
        out += "...";
    return out;
}

} // namespace

std::vector<const TLdifValue*> TLdifRecord::Find(std::string_view attr) const {
    std::vector<const TLdifValue*> out;
    for (const TLdifValue& v : Values)
        if (U_SameText(v.Attr, attr))
            out.push_back(&v);
    return out;
}

bool DecodeBase64(std::string_view text, std::string& out) {
    out.clear();
    if (text.size() % 4 != 0)
        return false;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        int d[4];
        size_t pad = 0;
        for (size_t k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                d[k] = 0;
                ++pad;
                continue;
            }
            if (pad > 0) // data after padding
                return false;
            d[k] = Base64Digit(c);
            if (d[k] < 0)
                return false;
        }
        uint32_t v = static_cast<uint32_t>(d[0] << 18 | d[1] << 12 | d[2] << 6 | d[3]);
        out += static_cast<char>(v >> 16 & 0xFF);
        if (pad < 2)
            out += static_cast<char>(v >> 8 & 0xFF);
        if (pad < 1)
            out += static_cast<char>(v & 0xFF);
    }
    return true;
}

TLdifReader::TLdifReader(std::string_view text) : FText(text) {
    // A byte order mark is no part of the first line.
    if (FText.substr(0, 3) == "\xEF\xBB\xBF")
        FPos = 3;
}

bool TLdifReader::Fail(size_t line, const std::string& what) {
    FError = "line " + std::to_string(line) + ": " + what;
    return false;
}

void TLdifReader::Gap(size_t line, const std::string& what) {
    FGaps.push_back("line " + std::to_string(line) + ": " + what);
}

bool TLdifReader::NextLine(std::string& line, size_t& number, bool& blank) {
    auto physical = [&](std::string_view& out) {
        size_t end = FText.find('\n', FPos);
        size_t next = end == std::string_view::npos ? FText.size() : end + 1;
        // Every line of LDIF ends with a line end; a text that stops without one was cut.
        FLineCut = end == std::string_view::npos;
        if (end == std::string_view::npos)
            end = FText.size();
        out = FText.substr(FPos, end - FPos);
        if (!out.empty() && out.back() == '\r')
            out.remove_suffix(1);
        FPos = next;
        ++FLineNo;
    };
    while (FPos < FText.size()) {
        std::string_view p;
        physical(p);
        if (p.empty() && !FLineCut) {
            blank = true;
            number = FLineNo;
            return true;
        }
        if (!p.empty() && p[0] == ' ')
            return Fail(FLineNo, "a continued line (one that begins with a blank) follows no line");
        number = FLineNo;
        line.assign(p);
        while (FPos < FText.size() && FText[FPos] == ' ') {
            physical(p);
            line.append(p.substr(1));
        }
        if (!line.empty() && line[0] == '#') {
            // A comment, with its continued lines.
            if (FLineCut)
                Gap(number, "the text ends inside a comment, without a line end; it may be cut");
            else
                TakeComment(line, number);
            continue;
        }
        blank = false;
        return true;
    }
    return false;
}

void TLdifReader::TakeComment(std::string_view comment, size_t number) {
    constexpr std::string_view kExtended = "# extended LDIF";
    constexpr std::string_view kCount = "# numEntries:";
    constexpr size_t kMaxDigits = 15;
    if (FEntries == 0 && !FClosed && comment == kExtended) {
        FExtended = true;
        return;
    }
    if (comment.substr(0, kCount.size()) != kCount)
        return;
    std::string_view digits = comment.substr(kCount.size());
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    if (digits.empty() || digits.size() > kMaxDigits ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        Gap(number, "\"" + Shown(comment) + "\" is no count of entries; the entries read " +
                        "cannot be checked against it");
        return;
    }
    FCountLine = number;
    FCount = static_cast<size_t>(std::stoull(std::string(digits)));
}

void TLdifReader::Finish() {
    if (FFinished)
        return;
    FFinished = true;
    auto entries = [](size_t n) { return std::to_string(n) + (n == 1 ? " entry" : " entries"); };
    if (FCountLine > 0 && FCount != FEntries)
        Gap(FCountLine, "\"# numEntries: " + std::to_string(FCount) + "\" says the search sent " +
                            entries(FCount) + "; the text holds " + entries(FEntries));
    if (FExtended && !FClosed)
        Gap(FLineNo, "the text ends here without the closing lines (\"# search result\", "
                     "\"search:\", \"result:\") that ldapsearch writes after the last entry; it "
                     "may be cut");
}

bool TLdifReader::Next(TLdifRecord& record) {
    record = TLdifRecord{};
    if (!FError.empty())
        return false;
    std::string line;
    size_t number = 0;
    bool blank = false;

    // Splits `type[;options]:[:|<] value`.
    auto split = [&](TLdifValue& v, bool& base64, bool& url) {
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return Fail(number, "\"" + Shown(line) + "\" is no \"attribute: value\" line");
        std::string_view desc(line.data(), colon);
        size_t semi = desc.find(';');
        std::string_view type = desc.substr(0, semi);
        std::string_view options =
            semi == std::string_view::npos ? std::string_view() : desc.substr(semi + 1);
        if (type.empty() || !std::all_of(type.begin(), type.end(), IsTypeChar))
            return Fail(number, "\"" + Shown(desc) + "\" is no attribute type");
        if (semi != std::string_view::npos &&
            (options.empty() || options.back() == ';' ||
             !std::all_of(options.begin(), options.end(),
                          [](char c) { return IsTypeChar(c) || c == ';'; })))
            return Fail(number, "\"" + Shown(desc) + "\" has a malformed option");
        v.Attr.assign(type);
        v.Options.assign(options);
        v.Line = number;
        size_t pos = colon + 1;
        base64 = pos < line.size() && line[pos] == ':';
        url = pos < line.size() && line[pos] == '<';
        if (base64 || url)
            ++pos;
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        std::string_view text(line.data() + pos, line.size() - pos);
        if (url)
            return Fail(number, "the value of " + v.Attr +
                                    " is named by a URL; values are read from the LDIF only");
        if (base64) {
            v.Base64 = true;
            if (!DecodeBase64(text, v.Value))
                return Fail(number, "the value of " + v.Attr + " is no valid base64");
        } else {
            v.Value.assign(text);
        }
        return true;
    };

    while (true) {
        // The first line of a record, past blank lines and the version line.
        TLdifValue first;
        while (true) {
            if (!NextLine(line, number, blank)) {
                if (FError.empty())
                    Finish();
                return false;
            }
            if (blank)
                continue;
            if (FLineCut) {
                // The last line, cut: whatever it begins is not read as if it were whole.
                bool dn = line.size() >= 3 && U_SameText(line.substr(0, 3), "dn:");
                FEntries += dn ? 1 : 0;
                Gap(number, "the text ends inside this line, without a line end; \"" + Shown(line) +
                                "\" is left out, as it may be cut short");
                continue;
            }
            bool base64 = false, url = false;
            if (!split(first, base64, url))
                return false;
            if (FFirst && U_SameText(first.Attr, "version")) {
                FFirst = false;
                if (first.Value != "1")
                    return Fail(number,
                                "LDIF version " + Shown(first.Value) + " is not known (only 1)");
                continue;
            }
            FFirst = false;
            break;
        }
        // ldapsearch ends its output with `search: n` and `result: code text`, and writes
        // `ref: URL` for a referral it did not follow: neither is an entry.
        bool trailer = U_SameText(first.Attr, "search");
        bool referral = U_SameText(first.Attr, "ref");
        if (!trailer && !referral && (!U_SameText(first.Attr, "dn") || !first.Options.empty()))
            return Fail(number, "a record begins with \"dn:\", not \"" + Shown(line) + "\"");
        if (referral)
            FNotes.push_back("line " + std::to_string(number) + ": the referral to " +
                             Shown(first.Value) + " is not followed");
        record.Dn = std::move(first.Value);
        record.Line = number;
        FClosed = FClosed || trailer;

        // Its values, up to a blank line or the end.
        bool firstValue = true;
        bool skipping = trailer || referral;
        bool ended = false;
        while (!ended && NextLine(line, number, blank)) {
            if (blank) {
                ended = true;
                continue;
            }
            if (FLineCut) {
                Gap(number, "the text ends inside this line, without a line end; \"" + Shown(line) +
                                "\" of \"" + Shown(record.Dn) +
                                "\" is left out, as it may be cut short");
                continue;
            }
            if (skipping && !trailer)
                continue; // a change record's lines need not read as values
            TLdifValue v;
            bool base64 = false, url = false;
            if (!split(v, base64, url))
                return false;
            if (trailer && U_SameText(v.Attr, "result") && v.Value.rfind("0 ", 0) != 0 &&
                v.Value != "0")
                Gap(number, "the search ended with \"" + Shown(v.Value) +
                                "\"; the export may lack entries");
            if (skipping)
                continue;
            if (firstValue && (U_SameText(v.Attr, "changetype") || U_SameText(v.Attr, "control"))) {
                if (U_SameText(v.Attr, "changetype") && U_SameText(v.Value, "add")) {
                    firstValue = false; // an added entry reads like a content record
                    continue;
                }
                FNotes.push_back("line " + std::to_string(record.Line) +
                                 ": the change record of \"" + Shown(record.Dn) + "\" (" +
                                 Shown(line) + ") is skipped");
                skipping = true;
                continue;
            }
            if (U_SameText(v.Attr, "dn"))
                return Fail(number, "a second \"dn:\" in one record (records are separated by "
                                    "a blank line)");
            firstValue = false;
            record.Values.push_back(std::move(v));
        }
        if (!FError.empty())
            return false;
        if (!skipping) {
            ++FEntries;
            return true;
        }
        record = TLdifRecord{};
    }
}

} // namespace trovalen::convert
