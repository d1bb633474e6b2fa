// The one writer of tree files: the generated trees and the trees made from an LDIF export are
// both written through it. It writes a file of one tree: the format, the schema the file adds,
// the tree with its objects one a line, then the servers and the connections. The caller builds
// each part as a JSON value; the writer lays them out.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace trovalen::convert {

// A value of a tree file. Keys stay in the order they are set, so that an object reads name,
// class, then the rest.
using TTreeJson = nlohmann::ordered_json;

// How a tree file is laid out. Both are the same JSON; they differ in white space only.
enum class TTreeLayout {
    // `{"format": 1,` then each top-level member on a line of its own indented by one blank,
    // the objects by two; each value on one line with a blank after every `,` and `:`
    // (`{"name": "Joe.O", "class": "User"}`). The generated trees.
    Spaced,
    // `{` on a line of its own, the top-level members indented by two blanks, the objects by
    // four; each value on one line without blanks (`{"name":"Joe.O","class":"User"}`). The
    // trees made from LDIF.
    Compact,
};

class TTreeFileWriter {
public:
    explicit TTreeFileWriter(TTreeLayout layout) : FLayout(layout) {}

    // The parts may come in any order; Take() puts them in the file's order. Schema, servers
    // and connections are left out when they are not given.
    void Schema(const TTreeJson& schema);
    void Tree(std::string_view name);
    void Object(const TTreeJson& object);
    void Servers(const TTreeJson& servers);
    void Connections(const TTreeJson& connections);

    size_t Objects() const { return FObjectCount; }
    // The file. The writer is empty afterwards, ready for the next one.
    std::string Take();

    // A value on one line in the layout's form. Text that is no UTF-8 gets U+FFFD in the place
    // of what cannot be read.
    void AppendValue(const TTreeJson& value, std::string& out) const;

private:
    void AppendString(std::string_view text, std::string& out) const;

    TTreeLayout FLayout;
    std::string FSchema;
    std::string FTreeName = "\"\"";
    std::string FObjects;
    size_t FObjectCount = 0;
    std::string FServers;
    std::string FConnections;
};

} // namespace trovalen::convert
