// Exceptions thrown by the registry wrapper: a message with the source file
// and line of the throw, and for CWin32Error the Win32 status as well.
#pragma once
#include <windows.h>
#include <exception>
#include <string>

class CBaseException : public std::exception {
public:
    // sourcePath is normally __FILE__; only its last component is kept in the text.
    CBaseException(const char* sourcePath, int line, const std::string& message);
    CBaseException(const CBaseException&) = default;
    virtual ~CBaseException();

    // message + "(" + file name + ":" + line + ")"
    const char* what() const noexcept override;
    std::string GetWhat() const;

private:
    std::string m_message;
    std::string m_what;
};

class CWin32Error : public CBaseException {
public:
    CWin32Error(const char* sourcePath, int line, const std::string& message, DWORD errorCode);
    CWin32Error(const CWin32Error&) = default;
    ~CWin32Error() override;

    DWORD GetErrorCode() const { return m_errorCode; }

private:
    DWORD m_errorCode;
};
