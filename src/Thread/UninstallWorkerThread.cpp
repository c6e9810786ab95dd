#include "Thread/UninstallWorkerThread.h"

CUninstallWorkerThread::CUninstallWorkerThread() : m_bNeedRestart(false), m_resultCode("000") {}
CUninstallWorkerThread::~CUninstallWorkerThread() {}
void CUninstallWorkerThread::OnCancel() {}

// TODO(DoWork): stand-in until the uninstall sequence lands; succeeds at once.
int CUninstallWorkerThread::DoWork() { return 0; }
