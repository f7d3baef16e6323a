// Drives the real engine libraries from tests: loads them by bare name, builds command records as
// the component does, and answers the callback from a script while recording every call.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "abi/EngineRecords.h"
#include "platform/Library.h"

namespace larktest {

struct Call {
    uint32_t action;
    uint32_t number;
    uint32_t flag;
    std::string text;
};

// The test's side of the callback. Questions take their answers from the queues; an empty queue
// answers "no" (no password, do not keep, do not overwrite).
class RecordingCallback {
public:
    std::vector<Call> calls;
    std::deque<std::string> passwords;
    std::deque<bool> keepCorrupt;
    std::deque<bool> overwrite;
    int64_t cancelOnAction = -1;  // answer -1 at this action; -1: never cancel
    int cancelOnOccurrence = 1;

    std::vector<Call> Of(uint32_t action) const;
    std::vector<uint32_t> Reasons() const;  // of every action 11, in order
    static int32_t ENGINE_API Trampoline(void* info);

private:
    int32_t Answer(uint8_t* info);
};

struct ZipJob {
    ZipJob(std::string archive, std::vector<std::string> specs, std::string rootDir = "", uint8_t addOptions = 2)
        : archive(std::move(archive)), specs(std::move(specs)), rootDir(std::move(rootDir)), addOptions(addOptions) {}
    std::string archive;
    std::vector<std::string> specs;
    std::string rootDir;  // with trailing backslash, or empty
    std::string password;
    std::string comment;
    std::string tempDir;
    uint8_t addOptions = 2;
    uint32_t level = 9;
    bool deleting = false;
    bool trace = false;
    bool noFolderEntries = false;  // set the word whatever the options say
    bool strongEncryption = false;  // with the password: AES-256
    uint32_t extensions = 0;       // the extension word; 0 as callers that predate it leave it
};

struct UnzipJob {
    UnzipJob(std::string archive, std::string destination, std::vector<std::string> specs = {},
             std::string password = "", uint8_t extractOptions = 17)
        : archive(std::move(archive)), destination(std::move(destination)), specs(std::move(specs)),
          password(std::move(password)), extractOptions(extractOptions) {}
    std::string archive;
    std::string destination;  // with trailing backslash
    std::vector<std::string> specs;
    std::string password;
    uint8_t extractOptions = 17;
    bool testOnly = false;
    uint32_t extensions = 0;  // the extension word; 0 as callers that predate it leave it
};

class Engines {
public:
    // Loaded once for the whole test program, by bare name from the program's folder.
    static Engines& Get();
    bool Loaded() const { return zipExec_ && unzExec_ && zipVersion_ && unzVersion_; }
    uint32_t ZipVersion() const { return zipVersion_(); }
    uint32_t UnzVersion() const { return unzVersion_(); }
    int32_t Zip(const ZipJob& job, RecordingCallback& callback) const;
    int32_t Unzip(const UnzipJob& job, RecordingCallback& callback) const;

private:
    Engines();
    platform::LibraryHandle zip_;
    platform::LibraryHandle unz_;
    engine::ExecFn zipExec_ = nullptr;
    engine::ExecFn unzExec_ = nullptr;
    engine::VersionFn zipVersion_ = nullptr;
    engine::VersionFn unzVersion_ = nullptr;
};

// One engine call through `exec`, with the records filled as the component fills them.
int32_t RunZip(engine::ExecFn exec, const ZipJob& job, RecordingCallback& callback);
int32_t RunUnzip(engine::ExecFn exec, const UnzipJob& job, RecordingCallback& callback);

// The folder the peer tools' archives were made in (system form), or empty when the test program
// runs without it (then the peer tests skip, saying so).
std::string PeerArchives();
// Where archives for the peers to judge go; empty when not set.
std::string PeerVerdicts();
// Leaves `archive` for the peer check with the files it must hold (name with '/' -> bytes).
void ExportForPeers(const std::string& archive, const std::string& asName,
                    const std::map<std::string, std::string>& files);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Every file below `folder` (system form), as name with '/' -> bytes.
std::map<std::string, std::string> ReadTree(const std::string& folder);
// An empty archive as the component makes one: the 22-byte end record alone.
std::string EmptyArchive();

}  // namespace larktest
