// TMainForm: creation, layout and painting of the main window, and its message handling.
#include "app/Main.h"

#include <cctype>
#include <exception>

#include "app/resource.h"
#include "engine/win32/ProgressWindow.h"
#include "platform/Files.h"
#include "platform/win32/WindowKit.h"

using platform::win32::GdiObject;
using platform::win32::IconHandle;
using platform::win32::ImageListHandle;
using platform::win32::PaintGuard;
using platform::win32::SelectGuard;
using platform::win32::WindowText;
using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr const char* kWindowClass = "LarkspoolMainForm";
// Posted at the first show, so that FormShow runs with the window already on screen.
constexpr UINT kFormShowMessage = WM_APP + 1;

// The window's fixed geometry, in pixels: the client area, its first position and its controls.
constexpr int kClientWidth = 536;
constexpr int kClientHeight = 405;
constexpr int kDesignLeft = 262;
constexpr int kDesignTop = 191;
constexpr int kToolbarHeight = 81;     // Panel1
constexpr int kCommentPanelHeight = 20;  // Panel
constexpr int kButtonWidth = 49;
constexpr int kButtonHeight = 57;
constexpr int kButtonTop = 13;
constexpr int kGlyphSize = 24;
constexpr int kLogoLeft = 324;
constexpr int kLogoTop = 9;
constexpr int kLogoWidth = 180;
constexpr int kLogoHeight = 66;
constexpr int kCommentLeft = 9;
constexpr int kCommentTop = 4;
constexpr int kFontPoints = 8;
constexpr const wchar_t* kFontFace = L"MS Sans Serif";

struct ToolbarButton {
    int command;
    int left;
    Msg caption;
    int glyph;
};
constexpr ToolbarButton kToolbar[] = {
    {IDM_NEW, 9, Msg::BtnNewCaption, IDI_GLYPH_NEW},
    {IDM_OPEN, 64, Msg::BtnOpenCaption, IDI_GLYPH_OPEN},
    {IDM_ADDFILES, 119, Msg::BtnAddCaption, IDI_GLYPH_ADD},
    {IDM_EXTRACT, 174, Msg::BtnExtractCaption, IDI_GLYPH_EXTRACT},
    {IDM_ABOUT, 229, Msg::BtnHelpCaption, IDI_GLYPH_HELP},
};

HINSTANCE Instance() { return platform::win32::ProgramInstance(); }

GdiObject MakeFont(int weight) {
    platform::win32::WindowDc screen(nullptr);
    const int height = -::MulDiv(kFontPoints, ::GetDeviceCaps(screen.Get(), LOGPIXELSY), 72);
    return GdiObject(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontFace));
}

// Laid out by the window's size handler, so made without a size.
HWND MakeChild(HWND parent, DWORD exStyle, const char* className, const std::string& text, DWORD style, int id) {
    return platform::win32::CreateChild(parent, exStyle, className, text, style, RECT{}, id);
}

void SetFont(HWND window, const GdiObject& font) {
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
}

}  // namespace

TMainForm::TMainForm(TMainFormOptions options) : options_(std::move(options)) {
    platform::win32::WindowClass windowClass;
    windowClass.name = kWindowClass;
    windowClass.menu = IDR_MAINMENU;
    // Shared icons: the system keeps them, so nothing is released.
    windowClass.icon =
        static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_LARKSPOOL), IMAGE_ICON, 32, 32, LR_SHARED));
    windowClass.smallIcon =
        static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_LARKSPOOL), IMAGE_ICON, 16, 16, LR_SHARED));
    shortcuts_ = ::LoadAcceleratorsA(Instance(), MAKEINTRESOURCEA(IDR_ACCELERATORS));

    constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    // Dropped files reach the window as WM_DROPFILES through this style alone.
    constexpr DWORD kExStyle = WS_EX_ACCEPTFILES;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kStyle, TRUE, kExStyle);
    const RECT outer{kDesignLeft, kDesignTop, kDesignLeft + frame.right - frame.left,
                     kDesignTop + frame.bottom - frame.top};
    Create(windowClass, kExStyle, FormatMsg(Msg::MainCaption), kStyle, outer, nullptr);
}

TMainForm::~TMainForm() { Destroy(); }

void TMainForm::Show(int showCommand) {
    ::ShowWindow(Handle(), showCommand);
    ::UpdateWindow(Handle());
}

bool TMainForm::TranslateShortcut(MSG& message) {
    return Handle() && shortcuts_ && ::TranslateAcceleratorW(Handle(), shortcuts_, &message) != 0;
}

HWND TMainForm::Button(int command) const {
    for (HWND button : buttons_)
        if (::GetDlgCtrlID(button) == command) return button;
    return nullptr;
}

TMainForm::BusyScope::BusyScope(TMainForm& form) : form_(form) {
    if (form_.busyDepth_++ == 0) form_.UpdateCommandStates();
}

TMainForm::BusyScope::~BusyScope() {
    if (--form_.busyDepth_ == 0 && form_.Handle()) form_.UpdateCommandStates();
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        FormCreate();
        return 0;
    case WM_SHOWWINDOW:
        if (wParam && !formShown_) {
            formShown_ = true;
            ::PostMessageW(Handle(), kFormShowMessage, 0, 0);
        }
        break;
    case kFormShowMessage:
        FormShow();
        return 0;
    case WM_SIZE:
        LayoutControls();
        return 0;
    case WM_SETFOCUS:  // the keyboard belongs to the list
        if (listView_) ::SetFocus(listView_);
        return 0;
    case WM_PAINT:
        PaintPanels();
        return 0;
    case WM_DRAWITEM:
        DrawToolbarButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_NOTIFYFORMAT:  // the list view's notifications carry names, in every script
        return NFR_UNICODE;
    case WM_NOTIFY:
        return OnListNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), lParam != 0 && HIWORD(wParam) == BN_CLICKED);
        return 0;
    case WM_DROPFILES:
        WMDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_CLOSE:
        // Closing while an operation runs would free the archive object under it.
        if (Busy()) {
            ::MessageBeep(MB_OK);
            return 0;
        }
        break;
    case WM_DESTROY:
        FormDestroy();
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefaultHandling(message, wParam, lParam);
}

void TMainForm::FormCreate() {
    zipArchive_ = std::make_unique<TZip>();
    zipArchive_->OnContentsChanged = [this](TZip* Sender) { ZipContentsChanged(Sender); };
    ProgramDir = ExtractFilePath(platform::ModuleFileName());
    zipArchive_->SetProgressFormFactory(ProgressWindowFactory(Handle()));
    if (!options_.Dialogs) shellDialogs_ = MakeShellDialogs(Handle());
    CreateControls();
    platform::win32::SetWindowText(zipCommentsLbl_, "");
    SetFont(zipCommentsLbl_, boldFont_);
    UpdateCommandStates();
    LayoutControls();
    OpenDialog.DefaultExt = SaveDialog.DefaultExt = "zip";
    OpenDialog.Options = ofHideReadOnly | ofEnableSizing;
    SaveDialog.Title = FormatMsg(Msg::SaveDialogTitle);
    OpenDialog.InitialDir = SaveDialog.InitialDir = ProgramDir;
}

void TMainForm::FormShow() {
    BusyScope busy(*this);
    const std::string error = RegisterZipAssociation(options_.AssociationRoot, options_.UserAssociationRoot,
                                                     platform::ModuleFileName());
    // A failed association is reported, and the archive named on the command line is still opened.
    if (!error.empty()) platform::win32::ShowFailure(error);
    if (options_.Arguments.empty()) return;
    const std::string& argument = options_.Arguments.front();
    // Made absolute now: the commands change the current folder before the archive is named again.
    if (HasZipExtension(argument)) OpenArchive(FullPathName(platform::GetCurrentDirectory(), argument));
}

bool HasZipExtension(const std::string& path) {
    std::string extension = ExtractFileName(path);
    const size_t dot = extension.find_last_of('.');
    extension = dot == std::string::npos ? std::string() : extension.substr(dot);
    for (char& c : extension) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return extension == ".zip";
}

void TMainForm::FormDestroy() {
    zipArchive_.reset();
}

void TMainForm::CreateControls() {
    font_ = MakeFont(FW_NORMAL);
    boldFont_ = MakeFont(FW_BOLD);

    for (const ToolbarButton& button : kToolbar) CreateToolbarButton(button.command, button.left, button.caption, button.glyph);

    image1_ = MakeChild(Handle(), 0, "STATIC", "", SS_BITMAP, IDC_IMAGE1);
    logo_ = GdiObject(::LoadImageA(Instance(), MAKEINTRESOURCEA(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    ::SendMessageW(image1_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.Get()));

    listView_ = MakeChild(Handle(), WS_EX_CLIENTEDGE, "SysListView32", "",
                          WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA | LVS_SHAREIMAGELISTS,
                          IDC_LISTVIEW);
    ::SendMessageW(listView_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SetFont(listView_, font_);
    imageList_ = ImageListHandle(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0));
    for (int icon : {IDI_FOLDER, IDI_FILE}) {
        IconHandle image(static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(icon), IMAGE_ICON, 16, 16, 0)));
        ::ImageList_AddIcon(imageList_.Get(), image.Get());
    }
    ::SendMessageW(listView_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(imageList_.Get()));
    SetUpListColumns();

    zipCommentsLbl_ = MakeChild(Handle(), 0, "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                                IDC_ZIPCOMMENTSLBL);
    statusBar_ = MakeChild(Handle(), 0, "msctls_statusbar32", "", SBARS_SIZEGRIP, IDC_STATUSBAR);
    SetFont(statusBar_, font_);
}

void TMainForm::CreateToolbarButton(int command, int left, Msg caption, int glyph) {
    HWND button = MakeChild(Handle(), 0, "BUTTON", FormatMsg(caption), BS_OWNERDRAW | WS_TABSTOP, command);
    ::MoveWindow(button, left, kButtonTop, kButtonWidth, kButtonHeight, FALSE);
    SetFont(button, font_);
    buttons_.push_back(button);
    glyphs_.emplace_back(static_cast<HICON>(
        ::LoadImageA(Instance(), MAKEINTRESOURCEA(glyph), IMAGE_ICON, kGlyphSize, kGlyphSize, 0)));
}

void TMainForm::LayoutControls() {
    if (!listView_) return;
    RECT client;
    ::GetClientRect(Handle(), &client);
    ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT status;
    ::GetWindowRect(statusBar_, &status);
    const int statusHeight = status.bottom - status.top;
    const int commentPanelTop = client.bottom - statusHeight - kCommentPanelHeight;
    ::MoveWindow(image1_, kLogoLeft, kLogoTop, kLogoWidth, kLogoHeight, TRUE);
    ::MoveWindow(listView_, 0, kToolbarHeight, client.right, commentPanelTop - kToolbarHeight, TRUE);
    ::MoveWindow(zipCommentsLbl_, kCommentLeft, commentPanelTop + kCommentTop, client.right - kCommentLeft,
                 kCommentPanelHeight - kCommentTop, TRUE);
    RECT panel{0, commentPanelTop, client.right, commentPanelTop + kCommentPanelHeight};
    ::InvalidateRect(Handle(), &panel, TRUE);
}

// The toolbar panel gets a raised bevel; the comment panel has none.
void TMainForm::PaintPanels() {
    PaintGuard paint(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    RECT toolbar{0, 0, client.right, kToolbarHeight};
    ::DrawEdge(paint.Dc(), &toolbar, BDR_RAISEDINNER, BF_RECT);
}

void TMainForm::DrawToolbarButton(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) return;
    RECT face = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    ::DrawFrameControl(item.hDC, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    const int shift = pressed ? 1 : 0;

    HICON glyph = nullptr;
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i] == item.hwndItem) glyph = glyphs_[i].Get();
    const int glyphLeft = (face.right - face.left - kGlyphSize) / 2 + shift;
    const int glyphTop = 7 + shift;
    if (glyph) {
        ::DrawStateA(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(glyph), 0, glyphLeft, glyphTop, kGlyphSize,
                     kGlyphSize, DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
    }
    RECT captionArea{face.left + shift, glyphTop + kGlyphSize + 4, face.right + shift, face.bottom - 4 + shift};
    const std::wstring caption = platform::win32::Wide(WindowText(item.hwndItem));
    SelectGuard font(item.hDC, font_.Get());
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    ::DrawTextW(item.hDC, caption.c_str(), -1, &captionArea, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = face;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(item.hDC, &focus);
    }
}
