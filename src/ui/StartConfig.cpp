#include "ui/StartConfig.h"

namespace trovalen {

TWindowVariant U_WindowVariant(const TStartConfig& config) {
    TWindowVariant v;
    v.Selector = config.VariantSelector;
    v.ScanFileSystem = config.ScanFileSystem;
    v.ScanEdir = config.ScanEdir;
    switch (v.Selector) {
    case 0:
        v.AttrColumns = true;
        break;
    case 1:
        v.ScanFileSystem = false;
        v.ScanEdir = true;
        break;
    case 2:
        v.ScanFileSystem = true;
        v.ScanEdir = false;
        v.AttrColumns = true;
        break;
    default:
        break;
    }
    if (v.ScanFileSystem)
        v.Name = "Trovalen.file";
    if (v.ScanEdir)
        v.Name = "Trovalen.edir";
    return v;
}

} // namespace trovalen
