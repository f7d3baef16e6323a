// Looking a character up in the generated runs of simple case folding.
#include "zipformat/CaseFold.h"

#include "zipformat/Utf8.h"

namespace zip {

char32_t FoldCase(char32_t code) {
    using casefold::kRunCount;
    using casefold::kRuns;
    if (code < 0x80) return code >= 'A' && code <= 'Z' ? code + 32 : code;
    // The last run that starts at or before the character is the only one that can hold it.
    int low = 0;
    int high = kRunCount;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (kRuns[middle].first <= code) low = middle + 1;
        else high = middle;
    }
    if (low == 0) return code;
    const casefold::FoldRun& run = kRuns[low - 1];
    if (code > run.last || (code - run.first) % run.stride != 0) return code;
    return static_cast<char32_t>(static_cast<int32_t>(code) + run.delta);
}

std::string FoldCaseUtf8(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) {
            // ASCII, most of every name, folds only its capitals: a million names are folded when
            // a large tree is added or extracted.
            folded += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
            ++at;
            continue;
        }
        AppendUtf8(folded, FoldCase(NextCodePoint(utf8, at)));
    }
    return folded;
}

}  // namespace zip
