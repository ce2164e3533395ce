// Resource and control ids of Ferrolink.
#pragma once

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_FERROLINK_DIALOG    102
#define IDR_MAINFRAME           128
#define IDI_SCAN                129
#define IDI_FORWARD             130
#define IDI_STOP                131
#define IDI_BACK                132
#define IDR_MAIN                133

#define IDC_STATUSBAR           101
#define IDC_BACK                1000
#define IDC_FORWARD             1001
#define IDC_STOP                1002
#define IDC_SCAN                1003
#define IDC_TOOLBAR_RULE        1004
#define IDC_MENU_RULE           1005
#define IDC_LOCATION            1006
#define IDC_TREE                1007
#define IDC_LIST                1008
#define IDC_SITE_LINK           1009
#define IDC_PRODUCT_LINK        1010
#define IDC_SUPPORT_LINK        1011

#define ID_NET_UPDATE           32771
#define ID_NET_BREAK            32772
#define ID_HELP_ABOUT           32773

#define IDM_ABOUTBOX            0x0010

// The vendor's endpoints, under a reserved domain so nothing can reach them.
#define FL_VENDOR_DOMAIN        "www.flink.test"
#define FL_VENDOR_URL           "http://www.flink.test"
#define FL_PRODUCT_MAIL         "ferrolink@flink.test"
#define FL_SUPPORT_MAIL         "support@flink.test"
