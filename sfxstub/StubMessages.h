// Every text the self-extracting stub shows or logs, once.
#pragma once

#include <string>

namespace sfxstub {

enum class StubMsg {
    NoArchive,
    CannotOpenSelf,
    Damaged,
    CannotMakeDestination,
    Usage,
    Extracted,
    NotExtracted,
    ReasonExists,
    ReasonUnsafeName,
    ReasonUnsupported,
    ReasonStrongEncryption,
    ReasonPassword,
    ReasonDamaged,
    ReasonWriteError,
    ReasonReadError,
    ReasonCancelled,
    Summary,
    SummaryFailedHeader,
    SummaryMore,
    Cancelled,
    PasswordPrompt,
    PasswordCaption,
    DestinationLabel,
    OverwriteBox,
    ExtractButton,
    CancelButton,
    BrowseButton,
    BrowseTitle,
    ListName,
    ListSize,
    LogStart,
    LogEnd,
};

const char* MsgText(StubMsg msg);
// The text of `msg` with its %s and %d placeholders filled from `text` and `number`, in order.
std::string FormatStubMsg(StubMsg msg, const std::string& text = std::string(), long number = 0);

}  // namespace sfxstub
