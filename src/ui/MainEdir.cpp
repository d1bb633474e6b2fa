// trovalen-edir: the eDirectory variant; the scanned entries are objects of a tree.
#include "ui/Program.h"

int main(int argc, char** argv) {
    trovalen::TStartConfig config;
    config.VariantSelector = 1;
    config.ScanFileSystem = false;
    config.ScanEdir = true;
    return trovalen::RunProgram(argc, argv, config);
}
