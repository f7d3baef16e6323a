// Times opening a 65535-entry archive in the main window until the list is painted, and scrolling it to the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/Main.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

namespace {

constexpr int kEntries = 65535;
constexpr int kRepeats = 5;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Paints whatever is pending now, as the message loop would.
void PaintNow(HWND window) { ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }

}  // namespace

int main() {
    larktest::TestFolder folder;
    larktest::ArchiveBuilder builder;
    char name[64];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "project/module%03d/source/file%05d.txt", i / 500, i);
        builder.Add(name, std::to_string(i));
    }
    const std::string archive = folder.Write("big.zip", builder.Bytes());

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);

    // The association goes to a key of the bench's own, not to the classes root.
    HKEY benchRoot = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Larkspool-bench", 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &benchRoot, nullptr);
    platform::win32::RegistryKey root(benchRoot);

    std::vector<double> opened, scrolled;
    for (int run = 0; run <= kRepeats; ++run) {
        TMainFormOptions options;
        options.AssociationRoot = root.Get();
        TMainForm form(std::move(options));
        form.Show(SW_SHOWNORMAL);
        PaintNow(form.Handle());

        const Clock::time_point start = Clock::now();
        form.OpenArchive(archive);
        PaintNow(form.Handle());
        const Clock::time_point painted = Clock::now();
        ::SendMessageA(form.ListView(), LVM_ENSUREVISIBLE, kEntries - 1, FALSE);
        PaintNow(form.ListView());
        const Clock::time_point atEnd = Clock::now();

        const int rows = static_cast<int>(::SendMessageA(form.ListView(), LVM_GETITEMCOUNT, 0, 0));
        if (rows != kEntries) {
            std::fprintf(stderr, "listing_bench: %d rows listed, %d expected\n", rows, kEntries);
            return 1;
        }
        if (run == 0) continue;  // warm-up
        opened.push_back(Milliseconds(start, painted));
        scrolled.push_back(Milliseconds(painted, atEnd));
    }
    std::printf("entries                         %d\n", kEntries);
    std::printf("open and paint (median of %d)    %.1f ms\n", kRepeats, Median(opened));
    std::printf("scroll to the last row          %.1f ms\n", Median(scrolled));
    return 0;
}
