// trovalen: the File-system variant; the start paths are directories on NetWare volumes.
#include "ui/Program.h"

int main(int argc, char** argv) {
    trovalen::TStartConfig config;
    config.VariantSelector = 4;
    config.ScanFileSystem = true;
    config.ScanEdir = false;
    return trovalen::RunProgram(argc, argv, config);
}
