// makesetup: the release's setup program, our stub with the setup's settings joined to the package.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/Files.h"
#include "sfx/CustomStub.h"
#include "sfx/SfxUtils.h"

namespace {

int Usage() {
    std::fputs("usage: makesetup STUB ARCHIVE OUT.exe CAPTION PRODUCT-LINE COMMAND-LINE DESTINATION\n", stderr);
    return 2;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "makesetup: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) return Usage();
    const std::string stub = argv[1], archive = argv[2], out = argv[3];
    sfxsettings::SfxSettings settings;
    settings.caption = argv[4];
    settings.productLine = argv[5];
    settings.commandLine = argv[6];
    settings.destination = argv[7];
    // The customised stub is made beside the target and joined there, as the window's conversion does.
    const std::string customStub = out + ".stub";
    try {
        if (!WriteCustomStub(stub, settings, customStub)) return Fail("the stub takes no such settings: " + stub);
        const bool built = BuildSfx({customStub, archive}, out);
        platform::DeleteFile(customStub);
        return built ? 0 : Fail("cannot write " + out);
    } catch (const std::exception& error) {
        platform::DeleteFile(customStub);
        return Fail(error.what());
    }
}
