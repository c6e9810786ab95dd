// The customer's contract number: what may be entered and how it is checked
// against the agent's settings file, the same whether typed or read from a file.
#pragma once
#include <windows.h>
#include <string>

#include "controls/MaskEdit.h"

// Sets the edit up to admit a contract number: at most 14 half-width digits
// and letters of either case (the comparison ignores case).
void LimitToContractNumber(CMaskEdit& edit);
// What the contract-number edit keeps of text however it arrives, typed,
// pasted or read: the refused characters dropped, cut to 14.
std::string AdmitAsContractNumber(const std::string& text);

enum class ContractCheck {
    NoSettingsFile,  // the agent has no PellionSys.ini: nothing to check against
    Empty,           // no number given
    Wrong,
    Match,
};
// number against ContractNo of the agent's PellionSys.ini (at most 14
// characters of it take part), case-insensitive, nothing trimmed.
ContractCheck CheckContractNumber(const char* number);

// The first line of the file at path, as the edit admits it; 0, or the Win32
// code when the file cannot be read (number empty).
DWORD ReadContractFile(const std::string& path, std::string& number);
