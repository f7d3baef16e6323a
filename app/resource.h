// Resource and control identifiers of Larkspool, one range per kind.
#pragma once

// IDR_ 100-199: whole resources (the menu bar, the shortcut table).
#define IDR_MAINMENU 100
#define IDR_ACCELERATORS 101

// IDI_ 200-299: icons. The program's own icon has the lowest number, so it is the program file's
// first icon (the one the ".zip" association names with ",0").
#define IDI_LARKSPOOL 200
#define IDI_FOLDER 201
#define IDI_FILE 202
#define IDI_GLYPH_NEW 210
#define IDI_GLYPH_OPEN 211
#define IDI_GLYPH_ADD 212
#define IDI_GLYPH_EXTRACT 213
#define IDI_GLYPH_HELP 214

// IDB_ 300-399: bitmaps.
#define IDB_LOGO 300

// IDM_ 400-499: commands, shared by the menu items and the toolbar buttons.
#define IDM_NEW 400
#define IDM_OPEN 401
#define IDM_CLOSE 402
#define IDM_SELECTALL 410
#define IDM_SELECTNONE 411
#define IDM_ADDFILES 420
#define IDM_ADDFOLDER 421
#define IDM_EXTRACT 422
#define IDM_DELETE 423
#define IDM_PASSWORD 424
#define IDM_CONVERTSFXTOZIP 425
#define IDM_CONVERTZIPTOSFX 426
#define IDM_SPANARCHIVETOADRIVE 427
#define IDM_MERGEARCHIVEFROMADRIVE 428
#define IDM_MODIFYFILECOMMENT 429
#define IDM_MODIFYZIPCOMMENT 430
#define IDM_TESTARCHIVE 431
#define IDM_ABOUT 440

// IDC_ 1000-1099: child controls of the main window.
#define IDC_LISTVIEW 1000
#define IDC_STATUSBAR 1001
#define IDC_ZIPCOMMENTSLBL 1002
#define IDC_IMAGE1 1003

// IDC_ 1100-1199: controls of the "Customize Sfx" dialog (its OK and Cancel are IDOK and IDCANCEL).
#define IDC_LBLCAPTION 1100
#define IDC_EDCAPTION 1101
#define IDC_LBLPRODUCTINFO 1102
#define IDC_EDPRODUCTINFO 1103
#define IDC_LBLCOMMANDLINE 1104
#define IDC_EDCOMMANDLINE 1105
#define IDC_CBSHOWFILELIST 1106
#define IDC_CUSTIMAGE1 1107
#define IDC_BTNCHANGEICON 1108

// IDC_ 1200-1299: controls of the Set Password box.
#define IDC_LBLPASSWORD 1200
#define IDC_EDPASSWORD 1201
#define IDC_CBSTRONGENCRYPTION 1202
