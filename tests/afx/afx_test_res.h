// Resource ids of the dialog class layer's tests.
#pragma once
#define IDD_AFX_TEST 200
#define IDC_TEST_EDIT 1000
#define IDC_TEST_LINE 1001
#define IDD_AFX_MISSING 299
#define AFX_TEST_NAMED "AFXTESTNAMED"
