// TODO(Output): stand-in until the log writer lands; writes nothing.
#include "TarnLog/TarnLog.h"

CTarnLogWrapper::CTarnLogWrapper(const char* sourcePath, const int& line)
    : m_sourcePath(sourcePath), m_line(line), m_lastError(GetLastError()) {}
CTarnLogWrapper::~CTarnLogWrapper() { SetLastError(m_lastError); }
unsigned CTarnLogWrapper::Output(int, const char*, ...) { return 0; }
void CTarnLogWrapper::Initialize(const char*, int, HMODULE, int, int) {}
void CTarnLogWrapper::Terminate() {}
int CTarnLogWrapper::FlushAll() { return 0; }
