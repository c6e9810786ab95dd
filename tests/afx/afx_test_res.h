// Resource ids of the dialog class layer's tests.
#pragma once
#define IDD_AFX_TEST 200
#define AFX_TEST_NAMED "AFXTESTNAMED"
#define IDC_TEST_EDIT 1000
