// A simulated agent installation for the end-to-end tests and the demo: the registry key (the
// 64-bit view on 64-bit Windows), the install folder with its settings file, desktop shortcuts.
#pragma once
#include <windows.h>
#include <string>

namespace seed {

// contractNo nullptr: no settings file. An empty version leaves the value "Version" out. With a
// service mode (see the test service) the agent's program is the test service, running as "Corvane".
DWORD Seed(const std::string& installDir, const std::string& version, const char* contractNo,
           const std::string& serviceMode = "");  // 0 or an error
// The parts of an installation that the installer package cannot carry (see package/CorvaneAgent.wxs).
DWORD SeedExtras(const std::string& installDir);
extern const char kServiceName[];
void Unseed(const std::string& installDir);  // whatever Seed may have written; errors ignored

}  // namespace seed
