// The engine libraries' interface: file and export names, command and callback records, action codes.
// Shared by the archive component's bridge and by the engines themselves, so both sides compile
// against one layout. Pointers travel as 32-bit words: the product and both builds are 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ByteRecord.h"

#if defined(_WIN32)
#define ENGINE_API __stdcall
#define ENGINE_EXPORT
#else
#define ENGINE_API
// The host's engine objects hide everything else, so their copies of the platform layer never
// meet the test program's own copies.
#define ENGINE_EXPORT __attribute__((visibility("default")))
#endif

namespace engine {

static_assert(sizeof(void*) == 4, "the engine records carry 32-bit addresses");

constexpr uint32_t kMinEngineVersion = 160;
// What our own engines report from their version functions.
constexpr uint32_t kEngineVersion = 160;

constexpr const char* kZipDllName = "ZipDll.dll";
constexpr const char* kUnzDllName = "UnzDll.dll";
constexpr const char* kZipDllExecName = "ZipDllExec";
constexpr const char* kGetZipDllVersionName = "GetZipDllVersion";
constexpr const char* kUnzDllExecName = "UnzDllExec";
constexpr const char* kGetUnzDllVersionName = "GetUnzDllVersion";

// A flag word: all bits set for true.
constexpr uint32_t kTrue = 0xFFFFFFFFu;
constexpr uint16_t kTrue16 = 0xFFFFu;
// Last word of both command records.
constexpr uint32_t kRecordTrailer = 7;

// Addresses as they are stored in a record word.
inline uint32_t AddressWord(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }
template <typename T>
T* WordAddress(uint32_t word) { return reinterpret_cast<T*>(static_cast<uintptr_t>(word)); }

// Passed to ZipDllExec, for adding and for deleting. The component fills the words; what each
// option word means to our engines is written beside it (the component does not interpret them).
// Whatever the words say, adding stores names with '/' in the OEM code page (made by MS-DOS,
// version 20), DOS times from the files' local modification times and their attribute bits; it
// copies existing entries raw and replaces the archive only when the new one is complete.
class ZipCommand : public platform::ByteRecord<216> {
public:
    static constexpr size_t kCaller = 0x04;          // the TZip, handed back in every callback
    static constexpr size_t kVersion = 0x08;         // kMinEngineVersion; not checked
    static constexpr size_t kCallback = 0x0C;        // EngineCallback; 0: run without reporting
    static constexpr size_t kTraceFlag = 0x10;       // also send an action-4 line per file added or deleted
    static constexpr size_t kPassword = 0x14;        // text, or 0: encrypt the added files with it (PKWARE cipher)
    static constexpr size_t kPasswordFlag = 0x1C;    // not read: the password text decides
    static constexpr size_t kUpdateNewer = 0x20;     // AddOptions 64: a file with an entry is added only when newer
    static constexpr size_t kJunkFolders = 0x2C;     // true (AddOptions lacks 16): store the file name alone;
                                                     // false: the path below the pattern's root dir (or the
                                                     // current folder), else the path without its drive
    static constexpr size_t kReportProgress = 0x38;  // not read: actions 5, 6, 1, 2, 3 are always sent
    static constexpr size_t kLevel = 0x3C;           // deflate level 0..9 (more counts as 9); 0 stores, and
                                                     // data deflate does not shrink is stored
    static constexpr size_t kNoFolderEntries = 0x48; // false: a recursive add that keeps folder names stores an
                                                     // entry per folder matching the pattern (name ending '/',
                                                     // size 0, the folder's time); true: none
    static constexpr size_t kRecurse = 0x4C;         // 16-bit, AddOptions 4: descend into subfolders (this
                                                     // word or any file-spec entry's copy)
    static constexpr size_t kAdding = 0x50;          // not read: a command that does not delete adds
    static constexpr size_t kSystemFiles = 0x54;     // AddOptions 128: include hidden and system files (else
                                                     // they are skipped with kSkipExcluded)
    static constexpr size_t kDeleting = 0x5C;        // this command deletes the entries the specs match
    static constexpr size_t kReplace = 0x60;         // AddOptions 2; not read: every add replaces the entry of
                                                     // the same name (any letter case)
    static constexpr size_t kFreshen = 0x64;         // AddOptions 1: only files that have an entry, when newer
    static constexpr size_t kSpecCount = 0x78;
    static constexpr size_t kZipFileName = 0x7C;     // text; a missing or empty file is a new archive
    static constexpr size_t kTempDir = 0x80;         // text: for the new archive when the archive's own folder
                                                     // takes no temporary file (beside it the rename is atomic)
    static constexpr size_t kComment = 0x84;         // text or 0: the archive comment written (0: none), already
                                                     // in the archive's code page
    static constexpr size_t kSpecs = 0x8C;           // address of kSpecCount ZipSpecEntry records
    static constexpr size_t kExtensions = 0x90;      // extension bits (below); 0 from callers that predate them
    static constexpr size_t kTrailer = 0xD4;         // kRecordTrailer
};

// Adding: a spec is a file name or a pattern (Windows wildcards in its last part) relative to the
// root dir, or an absolute path; a spec naming a folder stands for "folder\*.*". Deleting: a
// pattern or a name matched against the stored names ('/' and '\' alike, any letter case). A spec
// that matches nothing is reported as action 11, kSkipNotMatched.
class ZipSpecEntry : public platform::ByteRecord<104> {
public:
    static constexpr size_t kSpec = 0x00;            // text: file name or wildcard pattern
    static constexpr size_t kPassword = 0x0C;        // copy of ZipCommand::kPassword; not read
    static constexpr size_t kPasswordFlag = 0x10;    // copy of ZipCommand::kPasswordFlag; not read
    static constexpr size_t kRecurse = 0x14;         // 16-bit copy of ZipCommand::kRecurse
    static constexpr size_t kRootDir = 0x24;         // text, never 0: base folder with trailing backslash, or ""
                                                     // (then the current folder)
};

// Passed to UnzDllExec. Stored and deflated entries are extracted, each into a temporary file in
// its target folder that takes its name only after the CRC check; names are decoded from OEM as the
// component decodes them; names that could leave the destination or name a device are skipped
// (kSkipUnsafeName); file times are set from the entries.
class UnzipCommand : public platform::ByteRecord<148> {
public:
    static constexpr size_t kCaller = 0x04;
    static constexpr size_t kVersion = 0x08;         // not checked
    static constexpr size_t kCallback = 0x0C;
    static constexpr size_t kTraceFlag = 0x10;       // always 0 from the component; not read
    static constexpr size_t kPassword = 0x18;        // text or 0: tried first on encrypted entries, then the
                                                     // last password that opened an entry, then action 8
    static constexpr size_t kFreshenOnly = 0x1C;     // ExtractOptions 4: only files that exist already, each
                                                     // replaced when older than its entry (asked instead when
                                                     // 0x30 or 0x34 is set)
    static constexpr size_t kTestCrc = 0x28;         // not read: every CRC is checked (action 9 on a mismatch)
    static constexpr size_t kAskOverwrite = 0x30;    // ExtractOptions 1: ask through action 10 for existing files
    static constexpr size_t kAskOverwrite2 = 0x34;   // ExtractOptions 2: the same (the component answers by age)
    static constexpr size_t kUseFolders = 0x38;      // ExtractOptions 16: restore the stored folder names,
                                                     // making folders as needed; else extract flat
    static constexpr size_t kOverwriteAll = 0x3C;    // none of 1, 2, 4: overwrite without asking. With none of
                                                     // 0x1C, 0x30, 0x34, 0x3C set, action 10 asks.
    static constexpr size_t kSpecCount = 0x40;
    static constexpr size_t kZipFileName = 0x44;     // text
    static constexpr size_t kSpecs = 0x48;           // address of kSpecCount UnzipSpecEntry records, or 0 (then
                                                     // every entry)
    static constexpr size_t kPasswordAttempts = 0x68;// 3: requests per entry (0 counts as 3)
    static constexpr size_t kDestination = 0x6C;     // text: destination folder with trailing backslash (empty:
                                                     // the current folder)
    static constexpr size_t kExtensions = 0x70;      // extension bits (below); 0 from callers that predate them
    static constexpr size_t kTrailer = 0x90;         // kRecordTrailer
};

// A pattern (Windows wildcards, '*' also across folders, "*.*" every name) or, without wildcards,
// the full stored name as the list shows it ('/' and '\' alike, any letter case).
class UnzipSpecEntry : public platform::ByteRecord<72> {
public:
    static constexpr size_t kSpec = 0x00;            // text: entry name or wildcard pattern
};

// The extension word of both command records: a word that was reserved (0) in every record a
// caller of version 160 builds. Its high half must hold kExtensionMagic before any bit counts, so
// stray data in an old caller's record is never taken for an extension. Without the marker the
// engines behave exactly as version 160 describes.
constexpr uint32_t kExtensionMagic = 0x4C4B0000u;
constexpr uint32_t kExtensionMagicMask = 0xFFFF0000u;
enum Extension : uint32_t {
    // Every text of the record, of its spec entries and of this run's callbacks is UTF-8 (without
    // it: the ANSI code page).
    kExtUtf8 = 0x0001,
    // The callback's number is 64 bits: its high half in EngineCallbackInfo::kNumberHigh, so that
    // sizes and progress past 4 GiB arrive whole (without it: the number alone, sizes capped at
    // 0x7FFFFFFF).
    kExtZip64 = 0x0002,
    // UnzipCommand: decode and check every entry, write nothing.
    kExtTestOnly = 0x0004,
    // ZipCommand: encrypt the added files with AES-256 instead of the traditional cipher.
    kExtStrongEncryption = 0x0008,
};
// The extension bits a record's word carries; 0 when the marker is missing.
constexpr uint32_t ExtensionBits(uint32_t word) {
    return (word & kExtensionMagicMask) == kExtensionMagic ? (word & ~kExtensionMagicMask) : 0;
}
constexpr uint32_t ExtensionWord(uint32_t bits) { return kExtensionMagic | bits; }

constexpr uint32_t kPasswordAttempts = 3;
constexpr size_t kCallbackTextSize = 512;

// Built by the engine and passed by address to the callback; the component reads and writes it in
// place. Unlike the command records it is a live memory block, so it is accessed through this view.
class EngineCallbackInfo : public platform::ByteRecord<0x1C + kCallbackTextSize> {
public:
    static constexpr size_t kCaller = 0x04;
    static constexpr size_t kNumberHigh = 0x08;  // high half of kNumber in kExtZip64 runs; else 0
    static constexpr size_t kAction = 0x10;
    static constexpr size_t kFlag = 0x14;
    static constexpr size_t kNumber = 0x18;
    static constexpr size_t kText = 0x1C;
};

static_assert(ZipCommand::kSize == 216, "ZipCommand is 216 bytes");
static_assert(ZipSpecEntry::kSize == 104, "ZipSpecEntry is 104 bytes");
static_assert(UnzipCommand::kSize == 148, "UnzipCommand is 148 bytes");
static_assert(UnzipSpecEntry::kSize == 72, "UnzipSpecEntry is 72 bytes");
static_assert(EngineCallbackInfo::kSize == 540, "EngineCallbackInfo is at least 540 bytes");
static_assert(ZipCommand::kTrailer + 4 == ZipCommand::kSize, "the trailer is ZipCommand's last word");
static_assert(UnzipCommand::kTrailer + 4 == UnzipCommand::kSize, "the trailer is UnzipCommand's last word");
static_assert(ZipSpecEntry::kRootDir == 0x24 && ZipSpecEntry::kRecurse == 0x14, "ZipSpecEntry offsets");
static_assert(EngineCallbackInfo::kText + kCallbackTextSize == EngineCallbackInfo::kSize, "text fills the record");

// Callback action codes.
enum Action : uint32_t {
    kActionNone = 0,
    kActionBeginFile = 1,      // text = name, number = size
    kActionProgress = 2,       // number = bytes since the last report
    kActionEndBatch = 3,
    kActionMessage = 4,        // text = trace or diagnostic line
    kActionBatchFiles = 5,     // number = files in the batch
    kActionBatchBytes = 6,     // number = bytes in the batch; starts a batch
    kActionNothing = 7,
    kActionPassword = 8,       // text = name, number = attempts left; back: text, flag, number
    kActionCrcError = 9,       // text = name; back: flag 1 = extract anyway
    kActionOverwrite = 10,     // text = name, flag bit 0 = existing file older; back: number 1 = overwrite
    kActionSkipped = 11,       // number = reason
    kActionLast = kActionSkipped,
};

// Reasons of action 11. 4..9 count as errors; the others as skipped only. A failure that ends an
// operation (a damaged archive, a file that cannot be written) comes as an action-4 line followed
// by action 11 with kSkipReadError or kSkipWriteError. The exec functions return the files added,
// deleted or extracted; add and delete return 0 when cancelled or failed (the archive is then
// unchanged), extract the files already extracted.
enum SkipReason : uint32_t {
    kSkipNotMatched = 1,       // a spec matched nothing
    kSkipNotNewer = 2,         // kept: not newer, or the user kept the existing file
    kSkipExcluded = 3,         // hidden, system or otherwise left out by the options
    kSkipUnsupported = 4,      // compression method or feature the engine does not support
    kSkipReadError = 5,        // the source file or the archive could not be read
    kSkipWriteError = 6,       // the target could not be written
    kSkipCrcError = 7,         // data failed its CRC or size check and was not kept
    kSkipPassword = 8,         // no or wrong password
    kSkipUnsafeName = 9,       // the entry's name would leave the destination, or names a device
    kSkipCancelled = 10,       // left when the user cancelled
};
constexpr uint32_t kFirstErrorReason = 4;
constexpr uint32_t kLastErrorReason = 9;

// The callback: one argument, the address of an EngineCallbackInfo; -1 asks the engine to stop.
using EngineCallbackFn = int32_t(ENGINE_API*)(void* info);
using ExecFn = int32_t(ENGINE_API*)(void* command);
using VersionFn = uint32_t(ENGINE_API*)();

}  // namespace engine
