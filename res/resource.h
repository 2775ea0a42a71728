// Resource ids shared by the program and its resource script.
#pragma once

#define IDD_DIRECTORY_PROMPT 100
#define IDC_TEXT_ENGLISH 101
#define IDC_TEXT_FRENCH 102
#define IDC_TEXT_GERMAN 103
#define IDC_TEXT_SPANISH 104
#define IDC_PATH 105
#define IDI_PROGRAM 1
