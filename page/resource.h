// Ids of the property page's dialog template and of the items the page
// drives, shared by the resource script and the code.
#pragma once

#define IDD_VELTRACE_PAGE 102

#define IDC_MASTER_SLIDER 1001
#define IDC_MASTER_VALUE 1002
#define IDC_MASTER_SPIN 1004
#define IDC_MASTER_ASSIGN 1005

#define IDC_MODIFIER_SLIDER 1007
#define IDC_MODIFIER_VALUE 1008
#define IDC_MODIFIER_SPIN 1010
#define IDC_MODIFIER_ASSIGN 1011

#define IDC_AMOUNT_SLIDER 1013
#define IDC_AMOUNT_VALUE 1015
#define IDC_AMOUNT_SPIN 1016
#define IDC_AMOUNT_ASSIGN 1018

#define IDC_LOW_SLIDER 1019
#define IDC_LOW_VALUE 1021
#define IDC_LOW_SPIN 1022
#define IDC_LOW_ASSIGN 1024

#define IDC_HIGH_SLIDER 1025
#define IDC_HIGH_VALUE 1027
#define IDC_HIGH_SPIN 1028
#define IDC_HIGH_ASSIGN 1030

#define IDC_MODE_SLIDER 1031
#define IDC_MODE_VALUE 1033
#define IDC_MODE_SPIN 1034
#define IDC_MODE_ASSIGN 1036
