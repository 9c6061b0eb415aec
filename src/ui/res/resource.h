// Resource and control ids of SetUp.exe, shared by the resource script and the C++ code.
// Plain macros so that windres and the compiler read the same single definition.
#pragma once

// Dialog template of the setup dialog.
#define IDD_SETUP 141

// Images.
#define IDI_SETUP 1           // the program's icon (also the dialog's small icon)
#define IDB_LOGO 147          // 64 x 64, 24-bit, top left of the dialog
#define IDB_ACAD_MENU 151     // 307 x 175, 16 colours: AutoCAD's menu bar with the add-on's menu

// Buttons with the system's command ids.
#define IDC_FINISH 1          // IDOK: "finished" button, shown after a completed installation
#define IDC_CANCEL 2          // IDCANCEL

// Setup dialog controls.
#define IDC_PATH 1000         // edit: install folder
#define IDC_TITLE 1013        // static: product title and version
#define IDC_PROGRESS 1014     // progress bar, in the band of the folder field
#define IDC_BROWSE 1015       // push button: folder chooser
#define IDC_COMPONENTS_LABEL 1016
#define IDC_PATH_LABEL 1017
#define IDC_MENU_PICTURE 1021 // static bitmap shown after the installation
#define IDC_INSTALL 1022      // push button: start the installation
#define IDC_DONE_NOTE 1023    // static shown after the installation
#define IDC_BITNESS 1024      // static: bitness note

// Release check boxes; 2010 and 2011 are not in numeric order.
#define IDC_CHECK2007 1018
#define IDC_CHECK2008 1019
#define IDC_CHECK2009 1020
#define IDC_CHECK2010 1027
#define IDC_CHECK2011 1026
#define IDC_CHECK2012 1028
#define IDC_CHECK2013 1029
#define IDC_CHECK2014 1030
#define IDC_CHECK2015 1031
#define IDC_CHECK2016 1032
#define IDC_CHECK2017 1033
#define IDC_CHECK2018 1034
#define IDC_CHECK2019 1035
#define IDC_CHECK2020 1036
#define IDC_CHECK2021 1037
#define IDC_CHECK2022 1038
#define IDC_CHECK2023 1039
#define IDC_CHECK2024 1040
#define IDC_CHECK2025 1041
#define IDC_CHECK2026 1042
// The release boxes form two id runs, which the message map routes as ranges.
#define IDC_CHECK_RUN1_FIRST 1018
#define IDC_CHECK_RUN1_LAST 1020
#define IDC_CHECK_RUN2_FIRST 1026
#define IDC_CHECK_RUN2_LAST 1042

#define IDC_STATIC_NONE (-1)
