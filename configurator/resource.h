// Resource identifiers of Configurator.exe, shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CONFIGURATOR_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_SERVER_LIST 1001
#define IDC_PING_EDIT 1003
#define IDC_INTERVAL_EDIT 1004
#define IDC_DEVICE_EDIT 1005
#define IDC_MAIL_COMBO 1009
// System-menu command of the About entry; the low four bits belong to the system.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
