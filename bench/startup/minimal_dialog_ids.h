// Resource ids of the baseline dialog of the start-up benchmark.
#pragma once

#define IDD_MINIMAL 100
#define IDC_MINIMAL_TEXT 1001
