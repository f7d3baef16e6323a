// A stand-in engine library for the bridge's tests: records the command it gets and replays a
// scripted series of callbacks. Built twice, as ZipDll.dll and as UnzDll.dll, from the same header
// as the real engines; it links nothing of ours but that header.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <direct.h>
#define FAKE_GETCWD _getcwd
#else
#include <unistd.h>
#define FAKE_GETCWD getcwd
#endif

#include "abi/EngineRecords.h"

using namespace engine;

namespace {

// Bigger than the record's 540 bytes, as an engine's own block may be.
constexpr size_t kBlockSize = 600;

struct Step {
    uint32_t action = 0;
    uint32_t flag = 0;
    int64_t number = 0;  // its high half goes into the block's high word, as kExtZip64 runs send it
    std::string text;
};

struct Reply {
    int32_t result = 0;
    uint32_t flag = 0;
    int32_t number = 0;
    std::string text;
};

// A text word of a record and the text it pointed to during the call; `present` is false for 0.
struct RecordedText {
    size_t offset = 0;
    bool present = false;
    std::string text;
};

struct RecordedSpec {
    std::vector<uint8_t> bytes;
    std::vector<RecordedText> texts;
};

struct State {
    uint32_t version = kEngineVersion;
    int32_t result = 0;
    bool scriptSet = false;
    bool keepGoing = false;  // go on calling back after a -1, as a careless engine might
    std::vector<Step> script;
    int32_t execCount = 0;
    std::vector<uint8_t> command;
    std::vector<RecordedText> commandTexts;
    std::vector<RecordedSpec> specs;
    std::vector<Reply> replies;
    std::string currentDirectory;
};

State& Fake() {
    static State state;
    return state;
}

uint32_t WordAt(const uint8_t* bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) | (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

void PutWord(uint8_t* bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

RecordedText TextAt(const uint8_t* record, size_t offset) {
    RecordedText recorded;
    recorded.offset = offset;
    const uint32_t word = WordAt(record, offset);
    recorded.present = word != 0;
    if (recorded.present) recorded.text = WordAddress<const char>(word);
    return recorded;
}

std::vector<Step> ParseScript(const std::string& script, bool& keepGoing) {
    std::vector<Step> steps;
    keepGoing = false;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos) end = script.size();
        const std::string line = script.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        if (line == "keepgoing") {
            keepGoing = true;
            continue;
        }
        Step step;
        char* rest = nullptr;
        step.action = static_cast<uint32_t>(std::strtoul(line.c_str(), &rest, 10));
        step.flag = static_cast<uint32_t>(std::strtoul(rest, &rest, 10));
        step.number = std::strtoll(rest, &rest, 10);
        if (*rest == ' ') ++rest;
        step.text = rest;
        steps.push_back(step);
    }
    return steps;
}

// The script and results come from the setters, or, for programs that cannot call them, from the
// environment: FAKE_ENGINE_SCRIPT (lines separated by '|'), FAKE_ENGINE_RESULT, FAKE_ENGINE_VERSION.
void ReadEnvironment(State& state) {
    if (state.scriptSet) return;
    if (const char* script = std::getenv("FAKE_ENGINE_SCRIPT")) {
        std::string lines = script;
        for (char& c : lines)
            if (c == '|') c = '\n';
        state.script = ParseScript(lines, state.keepGoing);
    }
    if (const char* result = std::getenv("FAKE_ENGINE_RESULT")) state.result = std::atoi(result);
}

void RecordCurrentDirectory(State& state) {
    char buffer[4096];
    state.currentDirectory = FAKE_GETCWD(buffer, sizeof buffer) ? buffer : "";
}

int32_t Replay(State& state, const uint8_t* command, size_t callbackOffset, size_t callerOffset) {
    const auto callback = reinterpret_cast<EngineCallbackFn>(static_cast<uintptr_t>(WordAt(command, callbackOffset)));
    for (const Step& step : state.script) {
        std::vector<uint8_t> block(kBlockSize, 0);
        PutWord(block.data(), EngineCallbackInfo::kCaller, WordAt(command, callerOffset));
        PutWord(block.data(), EngineCallbackInfo::kAction, step.action);
        PutWord(block.data(), EngineCallbackInfo::kFlag, step.flag);
        PutWord(block.data(), EngineCallbackInfo::kNumber, static_cast<uint32_t>(step.number));
        PutWord(block.data(), EngineCallbackInfo::kNumberHigh, static_cast<uint32_t>(static_cast<uint64_t>(step.number) >> 32));
        const size_t length = step.text.size() < kCallbackTextSize ? step.text.size() : kCallbackTextSize - 1;
        std::memcpy(block.data() + EngineCallbackInfo::kText, step.text.data(), length);
        Reply reply;
        reply.result = callback(block.data());
        reply.flag = WordAt(block.data(), EngineCallbackInfo::kFlag);
        reply.number = static_cast<int32_t>(WordAt(block.data(), EngineCallbackInfo::kNumber));
        reply.text = reinterpret_cast<const char*>(block.data() + EngineCallbackInfo::kText);
        state.replies.push_back(reply);
        if (reply.result == -1 && !state.keepGoing) break;
    }
    return state.result;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// FAKE_ENGINE_DUMP names a file to which each call appends what it received and answered, for
// tests that run a whole program.
void Dump(const State& state, const char* exportName) {
    const char* path = std::getenv("FAKE_ENGINE_DUMP");
    if (!path || !*path) return;
    std::FILE* file = std::fopen(path, "ab");
    if (!file) return;
    std::string out = std::string("exec ") + exportName + "\n";
    for (size_t offset = 0; offset + 4 <= state.command.size(); offset += 4)
        out += "word " + Hex(static_cast<uint32_t>(offset)) + " " + Hex(WordAt(state.command.data(), offset)) + "\n";
    for (const RecordedText& text : state.commandTexts)
        if (text.present) out += "text " + Hex(static_cast<uint32_t>(text.offset)) + " " + text.text + "\n";
    for (size_t i = 0; i < state.specs.size(); ++i) {
        for (const RecordedText& text : state.specs[i].texts)
            if (text.present)
                out += "spec " + std::to_string(i) + " " + Hex(static_cast<uint32_t>(text.offset)) + " " + text.text +
                       "\n";
    }
    for (const Reply& reply : state.replies)
        out += "reply " + std::to_string(reply.result) + " " + std::to_string(reply.flag) + " " +
               std::to_string(reply.number) + " " + reply.text + "\n";
    out += "cwd " + state.currentDirectory + "\n";
    std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
}

template <typename Command, typename Spec>
int32_t Exec(void* commandAddress, std::initializer_list<size_t> commandTexts, size_t countOffset, size_t specsOffset,
             std::initializer_list<size_t> specTexts, const char* exportName) {
    State& state = Fake();
    ReadEnvironment(state);
    ++state.execCount;
    const auto* command = static_cast<const uint8_t*>(commandAddress);
    state.command.assign(command, command + Command::kSize);
    state.commandTexts.clear();
    for (size_t offset : commandTexts) state.commandTexts.push_back(TextAt(command, offset));
    state.specs.clear();
    const uint32_t count = WordAt(command, countOffset);
    const auto* specs = WordAddress<const uint8_t>(WordAt(command, specsOffset));
    for (uint32_t i = 0; specs && i < count; ++i) {
        const uint8_t* spec = specs + i * Spec::kSize;
        RecordedSpec recorded;
        recorded.bytes.assign(spec, spec + Spec::kSize);
        for (size_t offset : specTexts) recorded.texts.push_back(TextAt(spec, offset));
        state.specs.push_back(recorded);
    }
    state.replies.clear();
    RecordCurrentDirectory(state);
    const int32_t result = Replay(state, command, Command::kCallback, Command::kCaller);
    Dump(state, exportName);
    return result;
}

int32_t CopyOut(const std::string& text, char* out, int32_t size) {
    if (out && size > 0) {
        const size_t length = text.size() < static_cast<size_t>(size) ? text.size() : static_cast<size_t>(size) - 1;
        std::memcpy(out, text.data(), length);
        out[length] = '\0';
    }
    return static_cast<int32_t>(text.size());
}

int32_t CopyOut(const std::vector<uint8_t>& bytes, uint8_t* out, int32_t size) {
    const size_t length = bytes.size() < static_cast<size_t>(size) ? bytes.size() : static_cast<size_t>(size);
    if (out && length > 0) std::memcpy(out, bytes.data(), length);
    return static_cast<int32_t>(bytes.size());
}

int32_t FindText(const std::vector<RecordedText>& texts, uint32_t offset, char* out, int32_t size) {
    for (const RecordedText& text : texts) {
        if (text.offset == offset) return text.present ? CopyOut(text.text, out, size) : -1;
    }
    return -2;
}

}  // namespace

extern "C" {

#if defined(FAKE_ZIP_DLL)
uint32_t ENGINE_API GetZipDllVersion() { return Fake().version; }

int32_t ENGINE_API ZipDllExec(void* command) {
    return Exec<ZipCommand, ZipSpecEntry>(
        command, {ZipCommand::kPassword, ZipCommand::kZipFileName, ZipCommand::kTempDir, ZipCommand::kComment},
        ZipCommand::kSpecCount, ZipCommand::kSpecs,
        {ZipSpecEntry::kSpec, ZipSpecEntry::kPassword, ZipSpecEntry::kRootDir}, "ZipDllExec");
}
#else
uint32_t ENGINE_API GetUnzDllVersion() { return Fake().version; }

int32_t ENGINE_API UnzDllExec(void* command) {
    return Exec<UnzipCommand, UnzipSpecEntry>(
        command, {UnzipCommand::kPassword, UnzipCommand::kZipFileName, UnzipCommand::kDestination},
        UnzipCommand::kSpecCount, UnzipCommand::kSpecs, {UnzipSpecEntry::kSpec}, "UnzDllExec");
}
#endif

// The test's controls, plain C calls.
void FakeReset() { Fake() = State(); }
void FakeSetVersion(uint32_t version) { Fake().version = version; }
void FakeSetResult(int32_t result) { Fake().result = result; }
void FakeSetScript(const char* script) {
    State& state = Fake();
    state.script = ParseScript(script ? script : "", state.keepGoing);
    state.scriptSet = true;
}
int32_t FakeExecCount() { return Fake().execCount; }
int32_t FakeCommandBytes(uint8_t* out, int32_t size) { return CopyOut(Fake().command, out, size); }
int32_t FakeSpecCount() { return static_cast<int32_t>(Fake().specs.size()); }
int32_t FakeSpecBytes(int32_t index, uint8_t* out, int32_t size) {
    const State& state = Fake();
    if (index < 0 || static_cast<size_t>(index) >= state.specs.size()) return -1;
    return CopyOut(state.specs[index].bytes, out, size);
}
// The text a command word named during the call: its length, -1 for a word of 0, -2 for no text word.
int32_t FakeCommandText(uint32_t offset, char* out, int32_t size) {
    return FindText(Fake().commandTexts, offset, out, size);
}
int32_t FakeSpecText(int32_t index, uint32_t offset, char* out, int32_t size) {
    const State& state = Fake();
    if (index < 0 || static_cast<size_t>(index) >= state.specs.size()) return -2;
    return FindText(state.specs[index].texts, offset, out, size);
}
int32_t FakeReplyCount() { return static_cast<int32_t>(Fake().replies.size()); }
// One callback's answer: its result, and the flag, number and text it left in the block.
int32_t FakeReply(int32_t index, int32_t* result, uint32_t* flag, int32_t* number, char* text, int32_t size) {
    const State& state = Fake();
    if (index < 0 || static_cast<size_t>(index) >= state.replies.size()) return -1;
    const Reply& reply = state.replies[index];
    *result = reply.result;
    *flag = reply.flag;
    *number = reply.number;
    return CopyOut(reply.text, text, size);
}
int32_t FakeCurrentDirectory(char* out, int32_t size) { return CopyOut(Fake().currentDirectory, out, size); }

}  // extern "C"
