// The work of ZipDll.dll: adding files to an archive and deleting entries from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "abi/EngineRecords.h"
#include "engines/common/Engine.h"
#include "engines/common/Text.h"

namespace engines {

struct ZipSpec {
    std::string text;     // file name or pattern
    std::string rootDir;  // with trailing backslash, or empty
};

// The command record's words as this engine reads them.
struct ZipRequest {
    std::string archive;
    std::string tempDir;
    std::string password;
    bool strongEncryption = false;  // with a password: AES-256 instead of the traditional cipher
    std::string comment;  // as stored in ANSI runs; UTF-8 runs choose how to store it
    int level = 9;
    bool deleting = false;
    bool trace = false;
    bool junkFolders = false;
    bool recurse = false;
    bool folderEntries = false;  // a recursive add stores an entry per folder it walks
    bool freshen = false;
    bool updateNewer = false;
    bool systemFiles = false;
    RunText text{false};
    std::vector<ZipSpec> specs;
};

ZipRequest ReadZipCommand(const engine::ZipCommand& command);

// Each returns the number of files added or entries deleted; 0 when cancelled or failed, and
// the archive is then as it was.
int32_t AddFiles(const ZipRequest& request, Reporter& reporter);
int32_t DeleteEntries(const ZipRequest& request, Reporter& reporter);

}  // namespace engines
