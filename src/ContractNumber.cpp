#include "ContractNumber.h"

#include <mbstring.h>
#include <string.h>

#include "INC/MbText.h"
#include "INC/Owner.h"
#include "LIB/Util/PellionUtil.h"

namespace {

const char kAllowed[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
const int kMaxLength = 14;

}  // namespace

void LimitToContractNumber(CMaskEdit& edit) {
    edit.SetLenChecker(new CCharLenChecker);
    edit.AddCharChecker(new CDesignCharChecker(kAllowed));
    edit.SetMaxLength(kMaxLength);
}

std::string AdmitAsContractNumber(const std::string& text) {
    CCharLenChecker length;
    CDesignCharChecker allowed(kAllowed);
    return FilterChars(text, kMaxLength, length, {&allowed});
}

ContractCheck CheckContractNumber(const char* number) {
    std::string iniPath;
    GetInstallFilePath(iniPath, nullptr, "PellionSys.ini");  // on failure the path stays empty
    WIN32_FIND_DATAA found;
    CFindHandle find(iniPath.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA(iniPath.c_str(), &found));
    if (!find.valid()) return ContractCheck::NoSettingsFile;

    char stored[16];
    memset(stored, 0, sizeof(stored));
    GetPrivateProfileStringA("Setting", "ContractNo", "", stored, 15, iniPath.c_str());
    if (!number || !*number) return ContractCheck::Empty;
    return _mbsicmp(Bytes(number), Bytes(stored)) == 0 ? ContractCheck::Match : ContractCheck::Wrong;
}

DWORD ReadContractFile(const std::string& path, std::string& number) {
    number.clear();
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    char head[1024];
    DWORD got = 0;
    if (!file.valid() || !ReadFile(file.get(), head, sizeof(head) - 1, &got, nullptr)) return GetLastError();
    head[got] = '\0';
    // Neither CR nor LF is ever a trail byte of code page 932. A byte-order
    // mark of UTF-8 holds no allowed character, so it falls away like any other.
    number = AdmitAsContractNumber(std::string(head, strcspn(head, "\r\n")));
    return 0;
}
