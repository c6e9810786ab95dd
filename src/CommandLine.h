// The switches an unattended removal is started with. Switches are
// case-insensitive and begin with '/' or '-'. No switch takes the contract
// number itself: a command line is readable by other users and by the logs of
// deployment tools.
#pragma once
#include <string>
#include <vector>

struct CommandLineOptions {
    bool quiet = false;         // no window and no message box at all
    bool help = false;          // /?
    bool noRestart = false;     // never restart, never ask
    bool forceRestart = false;  // restart without asking when files wait for it
    std::string contractFile;   // the number is the first line of this file; "" none
    std::string logFolder;      // the log's folder instead of Log beside the program; "" the default
    // The first argument that is not a well-formed switch, named without its value
    // (a mistyped switch may carry the number); "" when all are good.
    std::string badArgument;
};

// The arguments after the program name, in the process code page. One that
// does not convert is given as "", which no switch matches.
std::vector<std::string> ProcessArguments();
CommandLineOptions ParseCommandLine(const std::vector<std::string>& args);
// The switches explained, for the usage box.
const char* UsageText();
