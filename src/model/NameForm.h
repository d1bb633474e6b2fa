// How a client writes an object's name for a context. With the canonical flag a client hands out
// partial names relative to the context's name context, so that every name it hands out is a
// name it takes back: an object below the name context by its parts below it, one elsewhere by
// its parts below the nearest shared container and one trailing dot per level climbed from the
// name context to that container ("Admin." from Sales.Corvale), one that shares no container
// with it in full with a leading dot. Without the flag, and under [Root], names are complete
// (from the top, without a leading dot).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trovalen {

struct TNameForm {
    size_t Keep = 0;       // the most specific parts written
    size_t Climbs = 0;     // trailing dots
    bool Absolute = false; // a leading dot
};

// full and nameContext are the parts of complete typeless names, most specific first;
// nameContext is empty for [Root]. Parts compare without regard to ASCII case.
TNameForm U_NameForm(const std::vector<std::string>& full,
                     const std::vector<std::string>& nameContext, bool canonical);

// The complete name (typeless, without a leading dot) of a name a client takes in under a name
// context (typeless, without a leading dot; "[Root]" or empty for the top). A leading dot makes
// a name complete already; with the canonical flag any other name is relative to the name
// context, each trailing dot climbing one level; without it names are complete as they stand.
// False for a name with an empty part or one that climbs above the top.
bool U_CompleteName(std::string_view name, std::string_view nameContext, bool canonical,
                    std::string& full);

// The name written from its parts (already typed or typeless) and a form.
std::string U_JoinNameForm(const std::vector<std::string>& parts, const TNameForm& form);

// Dots separate the parts of a name. A part whose value holds a dot, a backslash, an equals sign
// or a plus sign writes each of them with a backslash before it ("j\.smith"), so that every
// value a directory holds has a name that reads back as the same object.
std::string U_EscapeNamePart(std::string_view value);
// The value of a part written by U_EscapeNamePart (a backslash keeps the character after it).
std::string U_UnescapeNamePart(std::string_view part);
// Where the first part of name at or after from ends: the first dot that no backslash escapes;
// npos when there is none.
size_t U_FindNameDot(std::string_view name, size_t from = 0);
// The parts of a name, each as written (escapes kept); false for an empty name or part, or a
// part that ends in a lone backslash.
bool U_SplitNameParts(std::string_view name, std::vector<std::string>& parts);

} // namespace trovalen
