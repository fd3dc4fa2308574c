#pragma once
// Where the tool finds the modules it loads on first use (the page of --print-pdf, and the
// libraries of cli/LibraryModules.h): beside the program (the build folder), or in
// ../lib/kelvoimage/ from it (an installed copy).

#include <QString>

// Loads the module and returns its entry `entryName`; kept loaded to the end of the process.
// Throws KelvoError "<failure>: <reason>", the reason being the loader's or
// "<module> is not installed beside the program or in ../lib/kelvoimage/".
void* LoadModuleEntry(const char* moduleFile, const char* entryName, const QString& failure);
