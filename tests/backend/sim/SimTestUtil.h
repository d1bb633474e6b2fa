// Helpers shared by the simulated-client tests: a private mount root, trees from text, and
// short-hand readers over the client interface.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "backend/sim/SimClient.h"

namespace trovalen::simtest {

// A private mount root for the test's lifetime (TROVALEN_MOUNT points at it).
class TempMount {
public:
    TempMount();
    ~TempMount();
    const std::string& Root() const { return root_; }

private:
    std::string root_;
};

// A client over tree-file text; fails the test when the text does not load.
std::shared_ptr<TSimClient> ClientFromText(const std::string& json);

// Every name of a container listing, following iteration handles.
std::vector<std::string> ListNames(TNWClient& c, NWHandle ctx, const std::string& container,
                                   bool containersOnly, int* calls = nullptr);
// Every value of one attribute, as text where the value is text-like.
NWCCODE ReadValues(TNWClient& c, NWHandle ctx, const std::string& object, const std::string& attr,
                   std::vector<TAttrValue>& values);
// Runs a search built from tokens; names of the results.
NWCCODE Search(TNWClient& c, NWHandle ctx, const std::string& base, int scope,
               const std::vector<std::pair<uint32_t, TAttrValue>>& tokens,
               std::vector<std::string>& names, int* calls = nullptr);
// Tokens of the comparison "attr = value" on a distinguished-name attribute.
std::vector<std::pair<uint32_t, TAttrValue>> EqualsDN(const std::string& attr,
                                                      const std::string& name);
TAttrValue Text(const std::string& s, uint32_t syntax = SYN_CI_STRING);
// A context with typeless canonical names on the primary tree.
NWHandle NewCtx(TNWClient& c, const std::string& nameContext = "[Root]");

} // namespace trovalen::simtest
