// Resource ids of Scanmenu.dll, shared by the resource script and the code.
#pragma once

// The menu icon: two 16 x 16 images, 8 and 32 bits per pixel.
#define IDI_SCAN_MENU 100

// The type library VeltraneScanmenuLib, resource type "TYPELIB".
#define IDR_TYPELIB 1

// Registration scripts, resource type "REGISTRY".
#define IDR_MODULE_SCRIPT 200
#define IDR_HANDLER_SCRIPT 201
#define IDR_COMMAND_SCRIPT 202

// Texts, in every language of languages/*.toml (made into scanmenu_strings.rc2).
#define IDS_MENU_ITEM 300
#define IDS_HELP_TEXT 301
#define IDS_COMMAND_TITLE 302
