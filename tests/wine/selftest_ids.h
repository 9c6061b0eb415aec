// Control ids of the driver's self-test dialog: the same ids as SetUp.exe's dialog where a role matches.
#pragma once
#define IDD_SELFTEST 200
#define IDC_ST_PATH 1000
#define IDC_ST_BROWSE 1015
#define IDC_ST_BOX_A 1027
#define IDC_ST_BOX_B 1038
#define IDC_ST_BOX_OFF 1018
#define IDC_ST_INSTALL 1022
#define IDC_ST_ECHO 1100
#define IDC_ST_ANSWER 1101
#define IDC_ST_ARGS 1102
