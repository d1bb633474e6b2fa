// What the program's start tells the window: the variant, where the data comes from, and why
// there is no client when there is none; with the window's caption and the hints of its empty
// selection lists.
#pragma once

#include <string>

namespace trovalen {

// The values that the program's start sets to choose the variant.
struct TStartConfig {
    int VariantSelector = 4;
    bool ScanFileSystem = true;
    bool ScanEdir = false;
    // Why there is no client (the tree file loader's message); the program's start has shown
    // it, and the window's empty lists repeat it.
    std::string ClientError = {};
    // What the empty lists say before that reason: which directory could not be opened.
    std::string NoClientHint = "No tree file could be loaded";
    // Where the client's data comes from, in words (title and status bar).
    std::string Source = {};
};

constexpr char kWindowCaption[] = "Effective Rights Analysis";
// The hints of the empty selection lists before there is anything to list.
constexpr char kHintNoServer[] = "Choose a server in the connection list";
constexpr char kHintNoContainers[] = "No containers here";
constexpr char kHintNoObjects[] = "No objects in this container";

// The variant the window runs as: the start's values with the selector applied.
struct TWindowVariant {
    int Selector = 4;
    bool ScanFileSystem = true;
    bool ScanEdir = false;
    bool AttrColumns = false; // the report shows the program-side attribute columns
    std::string Name;         // "Trovalen.file" or "Trovalen.edir"
};
TWindowVariant U_WindowVariant(const TStartConfig& config);

} // namespace trovalen
