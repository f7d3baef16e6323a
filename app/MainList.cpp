// TMainForm's list of entries: filling it from the archive object, answering the list view, selection.
#include "app/Main.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iterator>

#include "app/resource.h"
#include "engine/ZipDlls.h"
#include "archive/DiskUtils.h"
#include "platform/Text.h"

namespace {

struct ListColumn {
    zip::Msg caption;
    int width;
    int format;
};
constexpr ListColumn kColumns[] = {
    {zip::Msg::ColumnFilename, 170, LVCFMT_LEFT},
    {zip::Msg::ColumnSize, 65, LVCFMT_RIGHT},
    {zip::Msg::ColumnDateTime, 90, LVCFMT_LEFT},
    {zip::Msg::ColumnComments, 190, LVCFMT_LEFT},
};

std::string LocaleText(LCTYPE item, const char* fallback) {
    wchar_t buffer[16] = {};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, buffer, static_cast<int>(std::size(buffer))) <= 1) return fallback;
    return platform::win32::Utf8(buffer);
}

ListSeparators UserSeparators() {
    return {LocaleText(LOCALE_STHOUSAND, ","), LocaleText(LOCALE_SDATE, "/"), LocaleText(LOCALE_STIME, ":")};
}

enum Column { kNameColumn, kSizeColumn, kDateColumn, kCommentColumn };

// The text of one cell: the list view asks for each cell it paints, one at a time.
std::string CellText(const TFileInfo& entry, int column, const ListSeparators& separators) {
    switch (column) {
    case kSizeColumn: return FormatSize(entry.Size, separators.thousand);
    case kDateColumn: return FormatDosDateTime(entry.Header.DosDateTime(), separators.date, separators.time);
    case kCommentColumn: return entry.FileComment;
    default: return entry.FileName;
    }
}

int RowImage(const TFileInfo& entry) {
    return !entry.FileName.empty() && entry.FileName.back() == '\\' ? kFolderImage : kFileImage;
}

ListRow MakeRow(int32_t index, const TFileInfo& entry, const ListSeparators& separators) {
    ListRow row;
    row.EntryIndex = index;
    row.FileName = entry.FileName;
    row.Image = RowImage(entry);
    row.Size = CellText(entry, kSizeColumn, separators);
    row.DateTime = CellText(entry, kDateColumn, separators);
    row.Comment = entry.FileComment;
    return row;
}

}  // namespace

std::string FormatSize(uint64_t size, const std::string& thousandSeparator) {
    const std::string digits = std::to_string(size);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += thousandSeparator;
        text += digits[i];
    }
    return text;
}

// "dd/mm/yy hh:nn" with the user's separators. A stored value that is not a calendar date or clock
// time (the all-zero stamp, month 13, 62 seconds) leaves the cell empty, so the other rows still list.
std::string FormatDosDateTime(uint32_t dosDateTime, const std::string& dateSeparator, const std::string& timeSeparator) {
    const zip::DosDateTimeParts parts = zip::SplitDosDateTime(dosDateTime);
    if (!parts.valid) return std::string();
    char day[3], month[3], year[3], hour[3], minute[3];
    std::snprintf(day, sizeof day, "%02d", parts.day);
    std::snprintf(month, sizeof month, "%02d", parts.month);
    std::snprintf(year, sizeof year, "%02d", parts.year % 100);
    std::snprintf(hour, sizeof hour, "%02d", parts.hour);
    std::snprintf(minute, sizeof minute, "%02d", parts.minute);
    return std::string(day) + dateSeparator + month + dateSeparator + year + " " + hour + timeSeparator + minute;
}

// The widest stamp in the list's font: where the font is wider than the one the layout was made
// for, the date column widens so that its stamps are not cut off.
int TMainForm::StampColumnWidth(int designWidth) const {
    constexpr int kCellPadding = 14;
    const std::wstring widest = platform::win32::Wide(
        FormatDosDateTime(0x2B2C6000u, LocaleText(LOCALE_SDATE, "/"), LocaleText(LOCALE_STIME, ":")));
    platform::win32::WindowDc dc(listView_);
    platform::win32::SelectGuard font(dc.Get(), font_.Get());
    SIZE extent{};
    ::GetTextExtentPoint32W(dc.Get(), widest.c_str(), static_cast<int>(widest.size()), &extent);
    return std::max(designWidth, static_cast<int>(extent.cx) + kCellPadding);
}

void TMainForm::SetUpListColumns() {
    for (int i = 0; i < static_cast<int>(sizeof kColumns / sizeof kColumns[0]); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = kColumns[i].format;
        column.cx = kColumns[i].caption == zip::Msg::ColumnDateTime ? StampColumnWidth(kColumns[i].width)
                                                                     : kColumns[i].width;
        std::wstring caption = platform::win32::Wide(zip::FormatMsg(kColumns[i].caption));
        column.pszText = &caption[0];
        column.iSubItem = i;
        ::SendMessageW(listView_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void TMainForm::ZipContentsChanged(TZip* Sender) {
    FillListView();
    platform::win32::SetWindowText(zipCommentsLbl_, Sender->GetZipComment());
}

// The list is virtual: rows stand in central-directory order and the list view asks for the cells
// it paints, so a refill costs the same for one entry as for a million.
void TMainForm::FillListView() {
    platform::win32::RedrawSuspension suspended(listView_);
    ::SendMessageW(listView_, LVM_DELETEALLITEMS, 0, 0);
    separators_ = UserSeparators();
    rowCount_ = zipArchive_->Count();
    ::SendMessageW(listView_, LVM_SETITEMCOUNT, static_cast<WPARAM>(rowCount_), 0);
    // Removing the rows removed their selection without a state change event; the commands follow.
    ListViewChange();
}

LRESULT TMainForm::OnListNotify(const NMHDR& header) {
    if (header.hwndFrom != listView_) return 0;
    switch (header.code) {
    case LVN_GETDISPINFOW:
        FillListItem(const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item);
        return 0;
    case LVN_GETDISPINFOA:  // a list view asks in the text form of the request that made it ask
        FillListItem(const_cast<NMLVDISPINFOA&>(reinterpret_cast<const NMLVDISPINFOA&>(header)).item);
        return 0;
    case LVN_ITEMCHANGED: {
        // Only changes of an item's state (selection, focus) count; text and image changes do not.
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (change.uChanged & LVIF_STATE) ListViewChange();
        return 0;
    }
    case LVN_ODFINDITEMW: {
        const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
        return FindRow(find.lvfi.flags, platform::win32::Utf8(find.lvfi.psz), find.iStart);
    }
    case LVN_ODFINDITEMA: {
        const auto& find = reinterpret_cast<const NMLVFINDITEMA&>(header);
        return FindRow(find.lvfi.flags, platform::AnsiToUtf8(find.lvfi.psz ? find.lvfi.psz : ""), find.iStart);
    }
    case LVN_ODSTATECHANGED:  // a range of rows changed state at once (shift-click)
        ListViewChange();
        return 0;
    case NM_DBLCLK:
        if (!Busy()) ListViewDblClick();
        return 0;
    default:
        return 0;
    }
}

namespace {

void CopyCellText(const std::string& text, LVITEMW& item) {
    ::lstrcpynW(item.pszText, platform::win32::Wide(text).c_str(), item.cchTextMax);
}

void CopyCellText(const std::string& text, LVITEMA& item) {
    ::lstrcpynA(item.pszText, platform::Utf8ToAnsi(text).c_str(), item.cchTextMax);
}

}  // namespace

// A row the list view still counts while the archive object holds fewer entries (a read that
// failed part way, before the refill) comes out empty.
bool TMainForm::ReadRow(int index, TFileInfo& entry) const {
    if (index < 0 || index >= rowCount_ || index >= zipArchive_->Count()) return false;
    zipArchive_->GetEntry(index, entry);
    return true;
}

ListRow TMainForm::Row(int index) const {
    TFileInfo entry;
    return ReadRow(index, entry) ? MakeRow(index, entry, separators_) : ListRow{};
}

template <typename Item>
void TMainForm::FillListItem(Item& item) const {
    if (item.iItem < 0 || item.iItem >= rowCount_) return;
    TFileInfo entry;
    const bool read = ReadRow(item.iItem, entry);
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
        CopyCellText(read ? CellText(entry, item.iSubItem, separators_) : std::string(), item);
    if (item.mask & LVIF_IMAGE) item.iImage = read ? RowImage(entry) : ListRow{}.Image;
    if (item.mask & LVIF_PARAM) item.lParam = read ? item.iItem : ListRow{}.EntryIndex;
}

// Typing in the list jumps to the next row whose name starts with the typed text, as in a list that
// holds its rows itself.
LRESULT TMainForm::FindRow(UINT flags, const std::string& typed, int startRow) const {
    if (!(flags & (LVFI_STRING | LVFI_PARTIAL)) || rowCount_ == 0) return -1;
    const std::wstring wanted = platform::win32::Wide(typed);
    const int count = rowCount_;
    const int start = startRow >= 0 && startRow < count ? startRow : 0;
    for (int step = 0; step < count; ++step) {
        const int row = (start + step) % count;
        if (!(flags & LVFI_WRAP) && row < start) break;
        const std::wstring name = platform::win32::Wide(Row(row).FileName);
        if (name.size() >= wanted.size() && ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.c_str(),
                                                             static_cast<int>(wanted.size()), wanted.c_str(),
                                                             static_cast<int>(wanted.size())) == CSTR_EQUAL)
            return row;
    }
    return -1;
}

int TMainForm::SelectedCount() const {
    return static_cast<int>(::SendMessageW(listView_, LVM_GETSELECTEDCOUNT, 0, 0));
}

void TMainForm::ListViewChange() {
    selectedCount_ = SelectedCount();
    UpdateCommandStates();
}

// Opens the first selected row's entry with the program the shell associates with it: extracted
// without its folders into the temporary folder, and left there.
void TMainForm::ListViewDblClick() {
    const std::vector<std::string> selected = SelectedNames();
    if (selected.empty()) return;
    BusyScope busy(*this);
    // A double-click that cannot open its entry ends without a message: the user sees nothing open.
    try {
        // A folder of its own: a file of the same name left there before is never opened instead.
        const std::string folder = openedEntryFolders_.Make();
        if (folder.empty()) return;
        zipArchive_->SetFileSpecs({selected.front()});
        zipArchive_->ExtractOptions = engine::kExtractByAge;
        zipArchive_->ExtractDir = folder;
        zipArchive_->ExtractFiles();
        Dialogs().ShellOpen(ExtractFileName(selected.front()), folder);
    } catch (const std::exception&) {
        // Nothing to show: the entry simply does not open.
    }
}
