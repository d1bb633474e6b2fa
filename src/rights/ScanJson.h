// The scan result as one JSON document for scripts: the run's header fields, then per entry what
// was scanned, where, how far the scan came, and the trustees its summary lists with their rights
// and reasons. docs/scan-result.schema.json describes the document.
#pragma once

#include <string>

#include "rights/ScanRun.h"

namespace trovalen {

// The version of the document's layout; it grows when a field changes meaning or goes away.
constexpr int kScanJsonFormat = 1;

// The document, indented by two, ending with a line break. Texts that are not valid UTF-8 have
// their faulty bytes replaced (U+FFFD).
std::string U_ScanResultToJson(const TScanResult& result);

} // namespace trovalen
