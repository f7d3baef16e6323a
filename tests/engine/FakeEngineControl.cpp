// The tests' handle on a fake engine library, through its plain C controls.
#include "tests/engine/FakeEngineControl.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "tzip/Zip.h"
#include "abi/EngineRecords.h"

namespace larktest {

FakeEngine::FakeEngine(Kind kind)
    : library_(
          platform::LoadLibrary(Folder() + "\\" + (kind == Kind::Zip ? engine::kZipDllName : engine::kUnzDllName))) {
    if (!library_) throw std::runtime_error("the fake engine library is missing from " + Folder());
    Control<void (*)()>("FakeReset")();
}

std::string FakeEngine::Folder() { return ExtractFilePath(platform::ModuleFileName()) + "fake"; }

template <typename Function>
Function FakeEngine::Control(const char* name) const {
    void* address = platform::GetProcAddress(library_, name);
    if (!address) throw std::runtime_error(std::string("the fake engine lacks ") + name);
    return reinterpret_cast<Function>(address);
}

void FakeEngine::SetVersion(uint32_t version) { Control<void (*)(uint32_t)>("FakeSetVersion")(version); }
void FakeEngine::SetResult(int32_t result) { Control<void (*)(int32_t)>("FakeSetResult")(result); }
void FakeEngine::SetScript(const std::string& script) {
    Control<void (*)(const char*)>("FakeSetScript")(script.c_str());
}

int32_t FakeEngine::ExecCount() const { return Control<int32_t (*)()>("FakeExecCount")(); }

std::vector<uint8_t> FakeEngine::Command() const {
    const auto get = Control<int32_t (*)(uint8_t*, int32_t)>("FakeCommandBytes");
    std::vector<uint8_t> bytes(get(nullptr, 0));
    get(bytes.data(), static_cast<int32_t>(bytes.size()));
    return bytes;
}

std::vector<std::vector<uint8_t>> FakeEngine::Specs() const {
    const auto count = Control<int32_t (*)()>("FakeSpecCount")();
    const auto get = Control<int32_t (*)(int32_t, uint8_t*, int32_t)>("FakeSpecBytes");
    std::vector<std::vector<uint8_t>> specs;
    for (int32_t i = 0; i < count; ++i) {
        std::vector<uint8_t> bytes(get(i, nullptr, 0));
        get(i, bytes.data(), static_cast<int32_t>(bytes.size()));
        specs.push_back(bytes);
    }
    return specs;
}

namespace {

std::optional<std::string> TextFrom(int32_t length, const std::function<void(char*, int32_t)>& get) {
    if (length == -2) throw std::runtime_error("not a text word of the record");
    if (length < 0) return std::nullopt;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    get(&text[0], length + 1);
    text.resize(length);
    return text;
}

}  // namespace

std::optional<std::string> FakeEngine::CommandText(uint32_t offset) const {
    const auto get = Control<int32_t (*)(uint32_t, char*, int32_t)>("FakeCommandText");
    return TextFrom(get(offset, nullptr, 0), [&](char* out, int32_t size) { get(offset, out, size); });
}

std::optional<std::string> FakeEngine::SpecText(int32_t index, uint32_t offset) const {
    const auto get = Control<int32_t (*)(int32_t, uint32_t, char*, int32_t)>("FakeSpecText");
    return TextFrom(get(index, offset, nullptr, 0), [&](char* out, int32_t size) { get(index, offset, out, size); });
}

std::vector<FakeEngine::Reply> FakeEngine::Replies() const {
    const auto count = Control<int32_t (*)()>("FakeReplyCount")();
    const auto get = Control<int32_t (*)(int32_t, int32_t*, uint32_t*, int32_t*, char*, int32_t)>("FakeReply");
    std::vector<Reply> replies;
    for (int32_t i = 0; i < count; ++i) {
        Reply reply;
        char text[1024];
        get(i, &reply.result, &reply.flag, &reply.number, text, sizeof text);
        reply.text = text;
        replies.push_back(reply);
    }
    return replies;
}

std::string FakeEngine::CurrentDirectory() const {
    const auto get = Control<int32_t (*)(char*, int32_t)>("FakeCurrentDirectory");
    std::string text(static_cast<size_t>(get(nullptr, 0)) + 1, '\0');
    get(&text[0], static_cast<int32_t>(text.size()));
    text.resize(text.size() - 1);
    return text;
}

}  // namespace larktest
