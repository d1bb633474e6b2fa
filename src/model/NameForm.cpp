#include "model/NameForm.h"

#include <algorithm>

#include "model/RightsModel.h"
#include "util/Util.h"

namespace trovalen {

TNameForm U_NameForm(const std::vector<std::string>& full,
                     const std::vector<std::string>& nameContext, bool canonical) {
    TNameForm form;
    form.Keep = full.size();
    if (!canonical || nameContext.empty() || full.empty())
        return form;
    // The nearest container above the object that also holds the name context (or is it).
    size_t shared = 0;
    size_t most = std::min(full.size() - 1, nameContext.size());
    while (shared < most &&
           U_SameText(full[full.size() - 1 - shared], nameContext[nameContext.size() - 1 - shared]))
        ++shared;
    if (shared == 0) {
        form.Absolute = true;
        return form;
    }
    form.Keep = full.size() - shared;
    form.Climbs = nameContext.size() - shared;
    return form;
}

namespace {

// How many backslashes end the text: an odd count escapes what follows, an even one does not.
size_t TrailingBackslashes(std::string_view text) {
    size_t n = 0;
    while (n < text.size() && text[text.size() - 1 - n] == '\\')
        ++n;
    return n;
}

// Whether the name ends with a dot that no backslash escapes: a trailing dot climbs one level.
bool EndsWithNameDot(std::string_view name) {
    return !name.empty() && name.back() == '.' &&
           TrailingBackslashes(name.substr(0, name.size() - 1)) % 2 == 0;
}

} // namespace

std::string U_EscapeNamePart(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '.' || c == '\\' || c == '=' || c == '+')
            out += '\\';
        out += c;
    }
    return out;
}

std::string U_UnescapeNamePart(std::string_view part) {
    std::string out;
    out.reserve(part.size());
    for (size_t i = 0; i < part.size(); ++i) {
        if (part[i] == '\\' && i + 1 < part.size())
            ++i;
        out += part[i];
    }
    return out;
}

size_t U_FindNameDot(std::string_view name, size_t from) {
    for (size_t i = from; i < name.size(); ++i) {
        if (name[i] == '\\')
            ++i;
        else if (name[i] == '.')
            return i;
    }
    return std::string_view::npos;
}

bool U_SplitNameParts(std::string_view name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty())
        return false;
    size_t start = 0;
    while (true) {
        size_t dot = U_FindNameDot(name, start);
        std::string_view part =
            name.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (part.empty() || TrailingBackslashes(part) % 2 == 1)
            return false;
        parts.emplace_back(part);
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

bool U_CompleteName(std::string_view name, std::string_view nameContext, bool canonical,
                    std::string& full) {
    auto valid = [](std::string_view n) {
        std::vector<std::string> parts;
        return !n.empty() && n.front() != '.' && U_SplitNameParts(n, parts);
    };
    if (!name.empty() && name.front() == '.') {
        name.remove_prefix(1);
        canonical = false;
    }
    if (!canonical) {
        if (!valid(name))
            return false;
        full.assign(name);
        return true;
    }
    if (nameContext == kRoot)
        nameContext = {};
    // Each trailing dot climbs one container above the name context.
    while (EndsWithNameDot(name)) {
        name.remove_suffix(1);
        if (nameContext.empty())
            return false;
        size_t dot = U_FindNameDot(nameContext);
        nameContext =
            dot == std::string_view::npos ? std::string_view() : nameContext.substr(dot + 1);
    }
    if (!valid(name))
        return false;
    full.assign(name);
    if (!nameContext.empty()) {
        full += '.';
        full += nameContext;
    }
    return true;
}

std::string U_JoinNameForm(const std::vector<std::string>& parts, const TNameForm& form) {
    std::string out = form.Absolute ? "." : "";
    for (size_t i = 0; i < form.Keep && i < parts.size(); ++i) {
        if (i > 0)
            out += '.';
        out += parts[i];
    }
    out.append(form.Climbs, '.');
    return out;
}

} // namespace trovalen
