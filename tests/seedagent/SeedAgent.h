// A simulated agent for the end-to-end tests and the demo: its key (64-bit view), folder, settings file, shortcuts.
#pragma once
#include <windows.h>
#include <string>

namespace seed {

// contractNo nullptr: no settings file; version "": no value. With a service mode the test service runs as "Corvane".
DWORD Seed(const std::string& installDir, const std::string& version, const char* contractNo,
           const std::string& serviceMode = "");  // 0 or an error
// The parts of an installation that the installer package cannot carry (see package/CorvaneAgent.wxs).
DWORD SeedExtras(const std::string& installDir);
extern const char kServiceName[];
void Unseed(const std::string& installDir);  // whatever Seed may have written; errors ignored

}  // namespace seed
