// A simulated agent installation for the end-to-end tests and the demo: the registry key (the
// 64-bit view on 64-bit Windows), the install folder with its settings file, desktop shortcuts.
#pragma once
#include <windows.h>

#include <string>

namespace seed {

// contractNo nullptr: no settings file. An empty version leaves the value "Version" out.
DWORD Seed(const std::string& installDir, const std::string& version, const char* contractNo);  // 0 or an error
void Unseed(const std::string& installDir);  // whatever Seed may have written; errors ignored

}  // namespace seed
