#include "Util/BaseException.h"
#include "INC/PathUtil.h"

CBaseException::CBaseException(const char* sourcePath, int line, const std::string& message)
    : m_message(message) {
    const char* file = FileNamePart(sourcePath, true);
    m_what = m_message + "(" + file + ":" + std::to_string(line) + ")";
}

CBaseException::~CBaseException() {}

const char* CBaseException::what() const noexcept { return m_what.c_str(); }

std::string CBaseException::GetWhat() const { return m_what; }

CWin32Error::CWin32Error(const char* sourcePath, int line, const std::string& message, DWORD errorCode)
    : CBaseException(sourcePath, line, message), m_errorCode(errorCode) {}

CWin32Error::~CWin32Error() {}
