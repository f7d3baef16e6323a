// The stub's message table.
#include "sfxstub/StubMessages.h"

#include <cstdio>

namespace sfxstub {
namespace {

struct Entry {
    StubMsg msg;
    const char* text;
};

constexpr Entry kTable[] = {
    {StubMsg::NoArchive, "This program carries no archive to extract."},
    {StubMsg::CannotOpenSelf, "The program cannot read itself: %s"},
    {StubMsg::Damaged, "The archive in this program is damaged: %s"},
    {StubMsg::CannotMakeDestination, "The folder \"%s\" cannot be made."},
    {StubMsg::Usage, "Usage: /auto [/d:FOLDER] [/p:PASSWORD] [/o] [/log:FILE]"},
    {StubMsg::Extracted, "extracted: %s"},
    {StubMsg::NotExtracted, "not extracted: %s"},
    {StubMsg::ReasonExists, "the file exists"},
    {StubMsg::ReasonUnsafeName, "its name would lead outside the destination folder"},
    {StubMsg::ReasonUnsupported, "its compression or encryption is not supported"},
    {StubMsg::ReasonStrongEncryption, "strong encryption is not supported by this self-extractor"},
    {StubMsg::ReasonPassword, "no password opened it"},
    {StubMsg::ReasonDamaged, "its data are damaged (CRC error)"},
    {StubMsg::ReasonWriteError, "the file cannot be written"},
    {StubMsg::ReasonReadError, "its data cannot be read"},
    {StubMsg::ReasonCancelled, "cancelled"},
    {StubMsg::Summary, "%d file(s) extracted to \"%s\"."},
    {StubMsg::SummaryFailedHeader, "Not extracted:"},
    {StubMsg::SummaryMore, "... and %d more."},
    {StubMsg::Cancelled, "Extraction cancelled."},
    {StubMsg::PasswordPrompt, "Password for %s:"},
    {StubMsg::PasswordCaption, "Password"},
    {StubMsg::DestinationLabel, "&Extract to folder:"},
    {StubMsg::OverwriteBox, "&Overwrite existing files"},
    {StubMsg::ExtractButton, "E&xtract"},
    {StubMsg::CancelButton, "Cancel"},
    {StubMsg::BrowseButton, "&Browse..."},
    {StubMsg::BrowseTitle, "Extract to which folder?"},
    {StubMsg::ListName, "Name"},
    {StubMsg::ListSize, "Size"},
    {StubMsg::LogStart, "extracting to: %s"},
    {StubMsg::LogEnd, "exit code: %d"},
};

}  // namespace

const char* MsgText(StubMsg msg) {
    for (const Entry& entry : kTable) {
        if (entry.msg == msg) return entry.text;
    }
    return "";
}

std::string FormatStubMsg(StubMsg msg, const std::string& text, long number) {
    std::string out;
    for (const char* p = MsgText(msg); *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += text;
            ++p;
        } else if (p[0] == '%' && p[1] == 'd') {
            char digits[24];
            std::snprintf(digits, sizeof digits, "%ld", number);
            out += digits;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace sfxstub
